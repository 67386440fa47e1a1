// The program's message box, and (from qt/Cp932String.h) the text
// conversion between the core's CP932 and Qt that every widget uses.
//
// OpenMessageBox shows the box with open(), never exec(), so that no nested
// event loop runs while it is up: the receive tick, the autopilot's wait
// pass and the senders keep their own order, and whatever raised the box has
// finished deciding before it appears. RunMessageBox waits for the answer,
// for the dialogs' own messages while they are open.
#pragma once

#include <QString>

#include "qt/Cp932String.h"

class QWidget;

namespace nami {

// A window-modal box with an OK button; it deletes itself when closed.
void OpenMessageBox(QWidget* parent, const QString& text);
// The same box, returning when it is closed.
void RunMessageBox(QWidget* parent, const QString& text);

}  // namespace nami
