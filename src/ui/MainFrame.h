// The main window: menu, toolbar, status bar with its clock, and the
// two-row splitter with the history pane above the terminal pane.
//
// It restores its geometry from section "Window" at creation and stores it
// when it closes. Before it closes, a document that was saved before is
// saved again; for a never-saved document with received text it asks
// save / discard / cancel (cancel, or a save that does not happen, keeps nami
// running). Closing then stops the heartbeat, ends the link (the window
// keeps handling events and shows "切断中…" while the far side is awaited;
// a second close ends at once) and closes the port.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <map>

#include "station/Station.h"
#include "ui/CommandRouter.h"
#include "ui/CommandTable.h"
#include "ui/Heartbeat.h"
#include "ui/NamiView.h"
#include "ui/Notifier.h"
#include "settings/RecentFiles.h"
#include "ui/StatusWidgets.h"

namespace nami {

class CMainFrame : public QMainWindow, private IFrameCommands, private IStationEvents {
  Q_OBJECT

 public:
  CMainFrame(CStation& station, CRecentFiles& recent, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CCommandRouter& Router() { return router_; }
  CNamiView* TerminalPane() { return view_; }
  QWidget* HistoryPane() { return history_; }
  // The window's action of a command (nullptr when the window has none).
  QAction* Action(Command id) const;
  // The file menu's recent files, newest first.
  const QList<QAction*>& RecentActions() const { return recentActions_; }
  QToolBar* ToolBar() const { return toolbar_; }
  QLabel* ClockPane() const { return clock_; }
  CLinkLight* LinkLight() const { return link_; }
  // The last run's summary (the whole text in its tool tip) and the next
  // scheduled run's time, beside the link light.
  CElidedLabel* RunSummaryLabel() const { return runSummary_; }
  QLabel* NextRunLabel() const { return nextRun_; }
  CActivityPane* ActivityPane() const { return activity_; }
  QSplitter* Splitter() const { return splitter_; }
  // The receive tick, the schedule, the senders and the termination signals.
  CHeartbeat& Heartbeat() { return heartbeat_; }
  // What the message pane shows while something is being sent or an
  // autopilot step runs; empty otherwise.
  QString ProgressText() const { return QString::fromStdString(station_.Progress()); }
  // How the last auto-mode run ended, with the time; shown between runs.
  QString RunEndText() const { return runSummary_->Text(); }

  // Re-evaluates every command's enabled state (as the idle update does),
  // hands new senders to the pacing and refreshes the progress text.
  void UpdateCommands();
  // Quitting without the window's close: ends every running operation and
  // closes the port (the window's close does this too).
  void Shutdown();
  // The default size: 84 widths of "A" by 25 line heights of the frame font.
  static QSize DefaultSize(const QFont& font);
  // The size of the first start: at least the default size, wide enough for
  // the whole menu bar and tall enough for both panes to be of use.
  QSize FirstStartSize() const;
  // The frame's font: "fontname" (79 kept) and "fontsize" of "Window".
  static QFont FrameFont(CSettings& settings);

  // The one way a message box of nami's is shown: the core's messages (not
  // waiting, so that no state machine moves on while the box is up) and
  // the commands' (waiting for OK).
  enum class BoxWait { No, Yes };
  void Message(const QString& text, BoxWait wait = BoxWait::No);
  // Replaces the message box (tests; a window-less automation instance
  // writes to the error stream while the window is hidden).
  std::function<void(const QString&)> messageHandler;

  enum class ExitChoice { Save, Discard, Cancel };
  // Asks what becomes of the received text at exit; tests answer here
  // instead of the message box.
  // Also asked before a new or opened document replaces the received text.
  std::function<ExitChoice(const QString& question)> askOnExit;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildPanes();
  // Hands the window to the station as its events (once).
  void WireStation();
  // Input, focus and clipboard changes refresh the commands; the clock ticks.
  void WatchInput();
  QAction* MakeAction(Command id);
  void BuildMenus();
  void AddMenu(const MenuLayout& layout);
  // Keys of commands in no menu work on the whole window; a tool tip names its key.
  void FinishAccelerators();
  void BuildToolBar();
  void BuildStatusBar();
  void RebuildRecentFiles();
  void RestoreGeometry();
  void StoreGeometry();
  void Run(Command id);
  void UpdateTitle();
  void UpdateClock();
  void StartClock();  // the clock's next update, just after the second turns
  // The enabled state of the commands and the progress text; runs a short
  // while after input, commands and ticks (and on while a sender runs),
  // not on a steady timer, so an idle window sleeps.
  void RefreshCommands();
  void RefreshSoon();
  void StartPacer();
  void UpdateProgress();
  void UpdateLink();
  void UpdateNextRun();
  void BuildActivityPane();
  // IStationEvents.
  void ShowMessage(const std::string& text) override;
  void Beep() override;
  void DrawDirect() override;
  void InvalidateAll() override;
  void ScrollLines(int lines) override;
  void RedrawBottomRow(bool clearRest) override;
  void LinesAdded(int count) override;
  void ProgressChanged() override;
  void Notice(const std::string& text) override;
  void RunStarted() override;
  void RunEnded(const RunEnd& end, const RunSummary& summary) override;
  void WriteFailure(const std::string& reason) override;
  void PortChanged() override;
  void ActivityAdded(const ActivityEntry& entry) override;
  // The window's own commands.
  void Exit() override;
  void ToggleToolBar() override;
  void ToggleStatusBar() override;
  void ToggleActivityPane() override;
  bool ToolBarShown() const override;
  bool StatusBarShown() const override;
  bool ActivityPaneShown() const override;
  void ChooseFont() override;
  void SwitchPane(bool next) override;
  void ShowAbout() override;
  // Before the received text goes (exit, or a new or opened document):
  // saved, discarded or kept; false keeps nami as it was.
  bool ConfirmClose(bool exiting = true);
  // The close's last part, once the link is released: the port closes, the
  // geometry is kept.
  void FinishClose();

  CStation& station_;
  CSettings& settings_;
  CRecentFiles& recent_;
  CCommandRouter router_;
  CHeartbeat heartbeat_;
  QSplitter* splitter_ = nullptr;
  CNamiView* view_ = nullptr;
  QWidget* history_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QLabel* kana_ = nullptr;
  QLabel* caps_ = nullptr;
  QLabel* num_ = nullptr;
  QLabel* clock_ = nullptr;
  CLinkLight* link_ = nullptr;
  CElidedLabel* runSummary_ = nullptr;  // the last run's end, until the next run
  QLabel* nextRun_ = nullptr;           // "次回 05:35"
  CActivityPane* activity_ = nullptr;
  CNotifier notifier_;
  bool placed_ = false;  // the splitter has its first sizes
  QMenu* fileMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  QList<QAction*> recentActions_;
  std::map<Command, QAction*> actions_;
  QTimer clockTimer_;  // the status bar clock
  QTimer idleTimer_;
  QTimer releaseTimer_;  // serves the link's release while the close waits for it
  QString shownProgress_;
  QString clockShape_;  // the clock text last measured, its digits as 0
  QString idleText_;  // shown while nothing runs: a port note
  bool closing_ = false;
  bool shutDown_ = false;
};

}  // namespace nami
