// Routes every command id to its handler and its enabling rule.
//
// Both panes send their commands here, so a command has the same enabling
// and the same effect on the one document whichever pane is active; only
// the search and edit-and-send commands need the history pane to be the
// active one. File dialogs restore the working directory they found.
#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <QWidget>
#include <ctime>
#include <functional>

#include "ui/NamiView2.h"
#include "settings/RecentFiles.h"
#include "station/Station.h"
namespace nami {

// What a file dialog is asked for.
struct FileRequest {
  bool save = false;
  QString title;
  QString initialName;
  QStringList filters;  // Qt name filters, the first one selected
};

// The Qt name filters of a "name|pattern|...||" filter string: each display
// name as written (trailing blanks dropped, since Qt reads the patterns from
// the parentheses that end the name), given its pattern in parentheses when
// the name does not end with one; "*.*" becomes "*", every file.
QStringList NameFilters(const std::string& filter);

class CCommandRouter {
 public:
  CCommandRouter(CStation& session, CRecentFiles& recent, QWidget* window);

  // The history pane when there is one, and whether it is the active pane.
  void SetHistoryPane(CNamiView2* pane) { history_ = pane; }
  void SetHistoryActive(bool active) { historyActive_ = active; }
  bool HistoryActive() const { return historyActive_; }

  // Whether the program has a handler for `id` in this build.
  bool IsAvailable(int id) const;
  // The enabling rule of `id` (false when it is not available).
  bool IsEnabled(int id) const;
  // Runs `id` when it is enabled; false when it is not (or is not ours).
  bool Execute(int id);

  // Document commands, also used by start-up and dropped files.
  bool OpenPath(const QString& path);
  // File Save; asks for a name when the document was never saved. False
  // when the user cancelled or the file could not be written.
  bool Save();
  bool SaveAs();

  // The current font chosen by the font command (written to "fontname"
  // and "fontsize"; nothing on screen changes).
  void SelectFont(const QFont& current);

  // Replaceable for tests: the file dialog (empty = cancelled), the font
  // dialog, and the message box (UTF-8 text).
  std::function<QString(const FileRequest&)> chooseFile;
  std::function<bool(QFont&)> chooseFont;
  std::function<void(const QString&)> showMessage;
  // Called after the document changed (title, recent files).
  std::function<void()> documentChanged;

 private:
  void Message(const QString& text);
  // Shows the file dialog; the working directory is the same afterwards,
  // whatever the dialog or the user did.
  QString AskFile(const FileRequest& request);
  QString CaptureName() const;
  void PasteSend();
  static std::string LocalPath(const QString& path);

  CStation& session_;
  CRecentFiles& recent_;
  QWidget* window_;
  CNamiView2* history_ = nullptr;
  bool historyActive_ = false;
};

}  // namespace nami
