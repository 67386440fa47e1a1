// Where the HTML user manual is: the installed copy, else one installed
// beside the program, else the source tree's.
#pragma once

#include <QString>

namespace nami {

// The manual's index.html, or empty when there is none.
QString FindUserManual();

}  // namespace nami
