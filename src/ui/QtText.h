// Text between the core and Qt, and the program's message box.
//
// The core, NAMI.INI and the link hold CP932; Qt holds UTF-16. Every widget
// converts through FromCp932/ToCp932 here.
//
// OpenMessageBox shows the box with open(), never exec(), so that no nested
// event loop runs while it is up: the receive tick, the autopilot's wait
// pass and the senders keep their own order, and whatever raised the box has
// finished deciding before it appears. RunMessageBox waits for the answer,
// for the dialogs' own messages while they are open.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QWidget;

namespace nami {

QString FromCp932(std::string_view cp932);
std::string ToCp932(const QString& text);

// A window-modal box with an OK button; it deletes itself when closed.
void OpenMessageBox(QWidget* parent, const QString& text);
// The same box, returning when it is closed.
void RunMessageBox(QWidget* parent, const QString& text);

}  // namespace nami
