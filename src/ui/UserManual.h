// Where the HTML user manual is: the installed copy, else one installed
// beside the program, else the source tree's.
#pragma once

#include <QString>
#include <QUrl>

namespace nami {

// The manual's index.html, or empty when there is none.
QString FindUserManual();
// Shows the manual at `url` in nami's own viewer window (the same on every
// desktop; links to other sites go to the desktop's browser). False when
// the file cannot be read.
bool ShowManualViewer(const QUrl& url);

}  // namespace nami
