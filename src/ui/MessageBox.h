// The program's message box: shown with open(), never exec(), so that no
// nested event loop runs while it is up. The receive tick, the autopilot's
// wait pass and the senders keep their own order; whatever raised the box
// has finished deciding before it appears.
#pragma once

#include <QString>

class QWidget;

namespace nami {

// A window-modal box with an OK button; it deletes itself when closed.
void OpenMessageBox(QWidget* parent, const QString& text);

}  // namespace nami
