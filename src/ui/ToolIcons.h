// The toolbar's small icons (16 x 15), drawn in code so they stay crisp
// and need no image files; and the program icon.
#pragma once

#include <QIcon>

namespace nami {

QIcon ToolIcon(int commandId);
QIcon AppIcon();

}  // namespace nami
