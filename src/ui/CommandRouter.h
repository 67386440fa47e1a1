// Runs the commands of the command table and answers their enabling: what
// the table's rows act on (the station, the history pane, the window) and
// the steps that ask for a file first.
//
// Both panes send their commands here, so a command has the same enabling
// and the same effect on the one document whichever pane is active; only
// edit-and-send needs the history pane to be the active one. File dialogs
// restore the working directory they found.
#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <QWidget>
#include <ctime>
#include <functional>

#include "ui/Command.h"
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

// The window's own commands, which the router hands to the window.
class IFrameCommands {
 public:
  virtual ~IFrameCommands() = default;
  virtual void Exit() = 0;
  virtual void ToggleToolBar() = 0;
  virtual void ToggleStatusBar() = 0;
  virtual void ToggleActivityPane() = 0;
  virtual bool ToolBarShown() const = 0;
  virtual bool StatusBarShown() const = 0;
  virtual bool ActivityPaneShown() const = 0;
  // The font command, starting from the active pane's font.
  virtual void ChooseFont() = 0;
  virtual void SwitchPane(bool next) = 0;
  virtual void ShowAbout() = 0;
};

class CCommandRouter {
 public:
  CCommandRouter(CStation& station, CRecentFiles& recent, QWidget* window);

  void SetFrame(IFrameCommands* frame) { frame_ = frame; }

  // The history pane when there is one, and whether it is the active pane.
  void SetHistoryPane(CNamiView2* pane) { history_ = pane; }
  void SetHistoryActive(bool active) { historyActive_ = active; }
  bool HistoryActive() const { return historyActive_; }

  // The enabling rule of the command's row (false without a handler or
  // without the part it acts on).
  bool IsEnabled(Command id) const;
  // Whether a switch is on.
  bool IsChecked(Command id) const;
  // Runs the command when it is enabled; false when it is not.
  bool Execute(Command id);

  // What the rows act on.
  CStation& Station() const { return station_; }
  CSettings& Settings() const { return settings_; }
  CNamiView2* History() const { return history_; }
  IFrameCommands* Frame() const { return frame_; }
  QWidget* Window() const { return window_; }

  // The steps of the commands that ask first or use the clipboard.
  void NewDocument();
  void Open();
  void CopyMarked();
  void PasteSend();
  void CopyToFile();
  void Upload();
  void Download();
  void RetroDownload();
  // The port dialog; OK opens the port anew at once (after asking, when a
  // run or a transfer would be cut off).
  void PortSettings();

  // Document commands, also used by start-up and dropped files.
  bool OpenPath(const QString& path);
  // Opens the `index`-th recent file.
  bool OpenRecent(std::size_t index);
  // File Save; asks for a name when the document was never saved. False
  // when the user cancelled or the file could not be written.
  bool Save();
  bool SaveAs();

  // The current font chosen by the font command (written to "fontname"
  // and "fontsize"; nothing on screen changes).
  void SelectFont(const QFont& current);

  // Replaceable for tests: the file dialog (empty = cancelled), the font
  // dialog; the message box (UTF-8 text: the window's one route).
  std::function<QString(const FileRequest&)> chooseFile;
  std::function<bool(QFont&)> chooseFont;
  std::function<void(const QString&)> showMessage;
  // Called after the document changed (title, recent files).
  std::function<void()> documentChanged;
  // Asked before a new or opened document replaces the received text:
  // false keeps it (the user cancelled, or saving it failed).
  std::function<bool()> mayReplaceText;
  // The port dialog (tests replace it); true when OK wrote new settings.
  std::function<bool()> portDialog;
  // A yes/no question (tests answer it); the default is a message box.
  std::function<bool(const QString&)> askYesNo;
  // A new or opened document replaced the received text (before documentChanged).
  std::function<void()> storeReplaced;

 private:
  void Message(const QString& text);
  // Shows the file dialog; the working directory is the same afterwards,
  // whatever the dialog or the user did.
  QString AskFile(const FileRequest& request);
  QString CaptureName() const;
  // The history pane's marked range (line 0 without a pane) and its text
  // (empty without one).
  MarkedRange Marks() const { return history_ ? history_->Marks() : MarkedRange{}; }
  std::string MarkedText() const { return history_ ? history_->Model().MarkedText() : std::string(); }
  static std::string LocalPath(const QString& path);

  CStation& station_;
  CSettings& settings_;
  CRecentFiles& recent_;
  QWidget* window_;
  CNamiView2* history_ = nullptr;
  IFrameCommands* frame_ = nullptr;
  bool historyActive_ = false;
};

}  // namespace nami
