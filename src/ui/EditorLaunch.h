// Starting the external editor on a file.
//
// The editor setting ("editor" in section "Editor Name") is the beginning of
// a command line: it is split into words like a shell would split them
// (quotes group words) but no shell ever runs; the file name is added as one
// more argument exactly as it stands, so blanks and shell characters in it
// are never interpreted. Relative names stay relative and are resolved by
// the editor against the current directory it inherits.
//
// An empty setting, or the old default "notepad.exe" (which does not exist
// here), means the first graphical text editor found on PATH, the one of the
// running desktop first; when there is none, xdg-open, which needs an
// existing file, so the empty file is created for it first.
#pragma once

#include <QString>
#include <QStringList>
#include <ctime>
#include <string>

#include "ui/DialogHooks.h"

class QWidget;

namespace nami {

class CSettings;

struct EditorCommand {
  QString program;
  QStringList args;
  bool fileMustExist = false;  // the program cannot open a file that is not there yet
};

// True for a setting that asks for the default editor.
bool IsDefaultEditorSetting(const QString& setting);
// The GUI editors tried in order for the desktop named by XDG_CURRENT_DESKTOP.
QStringList DefaultEditorCandidates(const QString& desktop);
// The program and arguments for `setting` (UTF-8) on `file`.
EditorCommand BuildEditorCommand(const QString& setting, const QString& file, const DialogHooks& hooks);

// "%y%m%d.UPL" of the local date of `now`.
std::string NewMailFileName(std::time_t now);

// Starts the editor of `settings` on `file`; shows "ｴﾃﾞｨﾀｰの起動に失敗しました"
// once when it cannot be started. Returns whether it started.
bool LaunchEditor(QWidget* parent, const CSettings& settings, const QString& file);

// The text of the failure message.
QString EditorStartFailedText();

}  // namespace nami
