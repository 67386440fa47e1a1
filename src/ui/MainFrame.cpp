#include "ui/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>
#include <chrono>

#include "text/Cp932.h"
#include "text/Messages.h"
#include "ui/Dialogs.h"
#include "ui/Fonts.h"
#include "ui/MailboxCommand.h"
#include "ui/QtText.h"
#include "ui/ToolIcons.h"

namespace nami {
namespace {
// The first start gives the panes this many text rows together (history
// two thirds) and this many columns, room for the status bar's run summary
// beside the link light and the clock.
constexpr int kFirstStartRows = 36;
constexpr int kFirstStartColumns = 190;
constexpr int kClockMs = 1000;
constexpr int kIdleMs = 100;

// True when the font's digits 0 to 9 are all as wide (tabular figures).
bool EvenDigits(const QFontMetrics& metrics) {
  const int zero = metrics.horizontalAdvance(QLatin1Char('0'));
  for (char c = '1'; c <= '9'; ++c)
    if (metrics.horizontalAdvance(QLatin1Char(c)) != zero) return false;
  return true;
}
}  // namespace

CMainFrame::CMainFrame(CStation& station, CRecentFiles& recent, QWidget* parent)
    : QMainWindow(parent),
      station_(station),
      settings_(station.Settings()),
      recent_(recent),
      router_(station, recent, this),
      heartbeat_(station) {
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  BuildPanes();
  BuildActivityPane();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  RestoreGeometry();
  view_->setFocus();
  WireStation();
  WatchInput();
  UpdateTitle();
  UpdateCommands();
}

void CMainFrame::BuildPanes() {
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setChildrenCollapsible(false);
  auto* history = new CNamiView2(station_.Doc(), splitter_);
  router_.SetHistoryPane(history);
  router_.SetFrame(this);
  history_ = history;
  // The pane's context menu goes through the window's commands, enabled alike.
  history->runCommand = [this](Command id) { Run(id); };
  history->commandEnabled = [this](Command id) { return router_.IsEnabled(id); };
  history->showMessage = [this](const QString& text) { Message(text, BoxWait::Yes); };
  connect(history, &CNamiView2::activated, this, [this] { router_.SetHistoryActive(true); });
  view_ = new CNamiView(station_, heartbeat_, splitter_);
  splitter_->addWidget(history_);
  splitter_->addWidget(view_);
  // A resize keeps the share of each pane (history two thirds).
  splitter_->setStretchFactor(0, 2);
  splitter_->setStretchFactor(1, 1);
  setCentralWidget(splitter_);
}

void CMainFrame::WireStation() {
  router_.documentChanged = [this] {
    view_->update();
    if (history_) history_->update();
    RebuildRecentFiles();
    UpdateTitle();
  };
  router_.mayReplaceText = [this] { return ConfirmClose(false); };
  router_.storeReplaced = [this] { static_cast<CNamiView2*>(history_)->OnStoreReplaced(); };
  router_.showMessage = [this](const QString& text) { Message(text, BoxWait::Yes); };
  // A vanished or missing device is tried again every few seconds.
  station_.SetReopenPort(true);
  station_.SetEvents(this);
}

void CMainFrame::Message(const QString& text, BoxWait wait) {
  if (messageHandler) {
    messageHandler(text);
    return;
  }
  // No nested event loop for the core's messages: the tick and the
  // autopilot must not run inside the call that raised the message.
  if (wait == BoxWait::Yes)
    RunMessageBox(this, text);
  else
    OpenMessageBox(this, text);
}

void CMainFrame::ShowMessage(const std::string& text) {
  Message(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void CMainFrame::Beep() { QApplication::beep(); }
void CMainFrame::DrawDirect() { view_->DrawDirect(); }
void CMainFrame::InvalidateAll() { view_->InvalidateAll(); }
void CMainFrame::ScrollLines(int lines) { view_->ScrollLines(lines); }
void CMainFrame::RedrawBottomRow(bool clearRest) { view_->RedrawBottomRow(clearRest); }

void CMainFrame::LinesAdded(int /*count*/) {
  // Ticks started by data arriving follow one another on a busy line: the
  // pane follows them at most every 50 ms, as the terminal pane repaints.
  auto* history = static_cast<CNamiView2*>(history_);
  if (heartbeat_.InDataTick())
    history->StoreChangedSoon();
  else
    history->OnStoreChanged();
}

void CMainFrame::ProgressChanged() { RefreshSoon(); }

void CMainFrame::RunStarted() {
  runSummary_->SetText(QString());
  RefreshSoon();
}

void CMainFrame::WriteFailure(const std::string& reason) { ShowMessage(reason); }

void CMainFrame::PortChanged() {
  heartbeat_.TickSoon();  // follows the port; a lost one is reported by the tick
  RefreshSoon();
}

void CMainFrame::Notice(const std::string& text) {
  idleText_ = QString::fromStdString(text);
  UpdateProgress();
}

void CMainFrame::ActivityAdded(const ActivityEntry& entry) { activity_->Append(entry); }

void CMainFrame::WatchInput() {
  idleTimer_.setSingleShot(true);
  idleTimer_.setInterval(kIdleMs);
  connect(&idleTimer_, &QTimer::timeout, this, &CMainFrame::RefreshCommands);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::RefreshSoon);
  // The clock shows seconds: one wake-up a second, just after the second
  // turns, so that the shown time never lags, skips or repeats a second.
  clockTimer_.setSingleShot(true);
  clockTimer_.setTimerType(Qt::PreciseTimer);
  connect(&clockTimer_, &QTimer::timeout, this, [this] {
    UpdateClock();
    StartClock();
  });
  StartClock();
  // While the close awaits the link's release; the far side's answer comes
  // within a timer period.
  releaseTimer_.setInterval(20);
  connect(&releaseTimer_, &QTimer::timeout, this, [this] {
    if (!station_.ShutdownStep()) return;
    releaseTimer_.stop();
    close();
  });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (!now || closing_) return;
    if (now == view_)
      router_.SetHistoryActive(false);
    else if (history_ && (now == history_ || history_->isAncestorOf(now)))
      router_.SetHistoryActive(true);
  });
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
  // Bars and panes hidden while the window goes must not reach its timers.
  toolbar_->disconnect(this);
  activity_->disconnect(this);
  heartbeat_.Stop();
  station_.SetEvents(nullptr);
  qApp->removeEventFilter(this);
  clockTimer_.stop();
}

QFont CMainFrame::FrameFont(CSettings& settings) {
  return MakeTerminalFont(FromCp932(settings.Get(keys::FontNameHistory)), settings.GetInt(keys::FontSize));
}

QSize CMainFrame::DefaultSize(const QFont& font) {
  QFontMetrics fm(font);
  return QSize(84 * fm.horizontalAdvance(QLatin1Char('A')), 25 * fm.lineSpacing());
}

QSize CMainFrame::FirstStartSize() const {
  const QSize def = DefaultSize(FrameFont(settings_));
  const QFontMetrics pane(view_->TerminalFont());
  // The frame around the central area: menu, toolbar, status bar and borders.
  const int bars = menuBar()->sizeHint().height() + toolbar_->sizeHint().height() + statusBar()->sizeHint().height() +
                   splitter_->handleWidth() + 16;
  QSize size(std::max({def.width(), menuBar()->sizeHint().width() + 24,
                       kFirstStartColumns * pane.horizontalAdvance(QLatin1Char('A'))}),
             std::max(def.height(), bars + kFirstStartRows * pane.lineSpacing()));
  if (const QScreen* screen = this->screen()) {
    const QSize room = screen->availableGeometry().size() * 9 / 10;
    size = size.boundedTo(room).expandedTo(def.boundedTo(room));
  }
  return size;
}

void CMainFrame::BuildActivityPane() {
  activity_ = new CActivityPane(this);
  activity_->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::BottomDockWidgetArea, activity_);
  activity_->setVisible(settings_.Get(keys::ActivityPane) == "1");
  connect(activity_, &QDockWidget::visibilityChanged, this, &CMainFrame::RefreshSoon);
}

void CMainFrame::RunEnded(const RunEnd& end, const RunSummary& summary) {
  // Until the next run, the bar tells how the last one ended.
  runSummary_->SetText(QStringLiteral("%1  %2").arg(QString::fromStdString(FormatLocalTime("%H:%M:%S", end.at)),
                                                    QString::fromStdString(FormatSummary(summary, true))));
  UpdateProgress();
  NotifyRunEnd(notifier_, settings_, summary, [this] { OpenOwnMail(settings_, this); });
}

QAction* CMainFrame::Action(Command id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::MakeAction(Command id) {
  if (QAction* a = Action(id)) return a;
  const CommandRow& row = RowOf(id);
  auto* action = new QAction(QString::fromUtf8(row.label), this);
  action->setData(static_cast<int>(id));
  if (*row.prompt) action->setStatusTip(QString::fromUtf8(row.prompt));
  if (*row.tip) action->setToolTip(QString::fromUtf8(row.tip));
  if (row.key) action->setShortcut(QKeySequence(QKeyCombination::fromCombined(row.key)));
  action->setShortcutContext(Qt::WindowShortcut);
  action->setCheckable(row.checked != nullptr);  // checked by RefreshCommands
  connect(action, &QAction::triggered, this, [this, id] { Run(id); });
  actions_.emplace(id, action);
  return action;
}

void CMainFrame::AddMenu(const MenuLayout& layout) {
  QMenu* menu = menuBar()->addMenu(QString::fromUtf8(layout.title));
  connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
  for (const CommandPlace& place : layout.items) {
    if (!place) {
      menu->addSeparator();
      continue;
    }
    QAction* action = MakeAction(*place);
    menu->addAction(action);
    if (*place == Command::OpenRecent) {  // the recent files go before it
      fileMenu_ = menu;
      recentAnchor_ = action;
    }
  }
}

void CMainFrame::BuildMenus() {
  for (const MenuLayout& layout : MainMenu()) AddMenu(layout);
  RebuildRecentFiles();
}

void CMainFrame::FinishAccelerators() {
  for (const CommandRow& row : CommandRows()) {
    if (!row.key) continue;
    QAction* action = Action(row.id);
    if (!action) addAction(action = MakeAction(row.id));  // in no menu: the window's own key
    // The tool tip names the key; without a tip of its own, the label without its access key.
    QString tip = action->toolTip();
    tip.remove(QRegularExpression(QStringLiteral("\\([A-Z][^)]*\\)(\\.\\.\\.)?$")));
    action->setToolTip(QStringLiteral("%1 (%2)").arg(tip, action->shortcut().toString(QKeySequence::NativeText)));
  }
}

void CMainFrame::RebuildRecentFiles() {
  if (!fileMenu_) return;
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    delete a;
  }
  recentActions_.clear();
  const auto& items = recent_.Items();
  recentAnchor_->setVisible(items.empty());
  const CommandRow& row = RowOf(Command::OpenRecent);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const QString label =
        QStringLiteral("&%1 %2").arg(i + 1 == 10 ? 0 : int(i) + 1).arg(QString::fromStdString(items[i]));
    auto* action = new QAction(label, this);
    action->setData(static_cast<int>(Command::OpenRecent));
    action->setStatusTip(QString::fromUtf8(row.prompt));
    connect(action, &QAction::triggered, this, [this, i] {
      router_.OpenRecent(i);
      UpdateCommands();
    });
    fileMenu_->insertAction(recentAnchor_, action);
    recentActions_.push_back(action);
  }
}

void CMainFrame::BuildToolBar() {
  toolbar_ = addToolBar(QStringLiteral("ツールバー"));
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
  for (const CommandPlace& place : ToolbarButtons()) {
    if (!place) {
      toolbar_->addSeparator();
      continue;
    }
    QAction* action = MakeAction(*place);
    if (const IconPainter paint = RowOf(*place).icon) action->setIcon(ToolIcon(paint));
    toolbar_->addAction(action);
  }
  connect(toolbar_, &QToolBar::visibilityChanged, this, &CMainFrame::RefreshSoon);
  FinishAccelerators();
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  auto indicator = [bar](const QString& sample) {
    auto* label = new QLabel(bar);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sample) + 8);
    label->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(label);
    return label;
  };
  kana_ = indicator(QStringLiteral("ｶﾅ"));
  caps_ = indicator(QStringLiteral("CAP"));
  num_ = indicator(QStringLiteral("NUM"));
  // The last run's summary keeps its place while menus show their prompts;
  // the messages (progress, port notes, prompts) have the room left of it.
  runSummary_ = new CElidedLabel(12, bar);
  runSummary_->setObjectName(QStringLiteral("runSummary"));
  bar->insertPermanentWidget(0, runSummary_);
  runSummary_->hide();  // until a run has ended
  nextRun_ = new QLabel(bar);
  nextRun_->setObjectName(QStringLiteral("nextRun"));
  bar->addPermanentWidget(nextRun_);
  link_ = new CLinkLight(bar);
  bar->addPermanentWidget(link_);
  clock_ = new QLabel(bar);
  clock_->setObjectName(QStringLiteral("clock"));
  bar->addPermanentWidget(clock_);
  bar->showMessage(QStringLiteral("レディ"));
  connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage(QStringLiteral("レディ"));
  });
  UpdateClock();
  // A fixed size: the label's update each second then repaints the label
  // alone, without laying out the status bar again.
  clock_->setFixedSize(clock_->fontMetrics().horizontalAdvance(clock_->text()) + 8, clock_->sizeHint().height());
}

void CMainFrame::StartClock() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % kClockMs;
  clockTimer_.start(static_cast<int>(kClockMs - ms) + 2);
}

void CMainFrame::UpdateClock() {
  const QString text = QString::fromStdString(FormatLocalTime("%c", station_.Now()));
  // The label has a fixed size (see BuildStatusBar); a wider text widens it.
  // Measuring shapes the whole text, the larger part of a second's work: in
  // a font whose digits are all as wide, a text that differs from the last
  // one measured only in its digits has the same width.
  QString shape = text;
  for (QChar& c : shape)
    if (c.isDigit()) c = u'0';
  if (shape != clockShape_ || !EvenDigits(clock_->fontMetrics())) {
    clockShape_ = shape;
    const int width = clock_->fontMetrics().horizontalAdvance(text) + 8;
    if (clock_->maximumWidth() < width && clock_->maximumWidth() < QWIDGETSIZE_MAX)
      clock_->setFixedSize(width, clock_->maximumHeight());
  }
  clock_->setText(text);
  UpdateLink();
  UpdateNextRun();
}

void CMainFrame::UpdateNextRun() {
  const int minute = station_.NextRunMinute();
  QString text;
  if (minute >= 0) {
    // The next time the clock shows that minute.
    std::time_t at = station_.Now();
    const std::tm now = LocalTime(at);
    int ahead = (minute - now.tm_min + 60) % 60;
    if (ahead == 0 && !station_.Running()) ahead = 60;
    at += ahead * 60 - now.tm_sec;
    text = QStringLiteral("次回 %1").arg(QString::fromStdString(FormatLocalTime("%H:%M", at)));
  }
  nextRun_->setText(text);
  nextRun_->setVisible(!text.isEmpty());
}

void CMainFrame::UpdateLink() {
  const QString port = QString::fromStdString(station_.PortName());
  const CStation::LinkStatus status = station_.Status();
  if (!status.portOpen) {
    // The port's own words: the device and the system's reason.
    const std::string& why = status.portFailure;
    link_->SetState(CLinkLight::Light::Fault,
                    QStringLiteral("ポートが開いていません: %1").arg(why.empty() ? port : QString::fromStdString(why)));
    return;
  }
  CLinkLight::Light light = CLinkLight::Light::Off;
  switch (status.phase) {
    case LinkPhase::Connected:
      light = CLinkLight::Light::On;
      break;
    case LinkPhase::Connecting:
    case LinkPhase::Disconnecting:
      light = CLinkLight::Light::Busy;
      break;
    case LinkPhase::Disconnected:
      break;
  }
  link_->SetState(light, QString::fromStdString(status.text) + QStringLiteral("  ") + port);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
    case QEvent::Shortcut:
      RefreshSoon();
      break;
    default:
      break;
  }
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    // The X11 lock bits of the key's modifier state: Lock = Caps Lock, Mod2 = Num Lock.
    const quint32 native = static_cast<QKeyEvent*>(event)->nativeModifiers();
    caps_->setText((native & 0x02) ? QStringLiteral("CAP") : QString());
    num_->setText((native & 0x10) ? QStringLiteral("NUM") : QString());
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::UpdateCommands() {
  RefreshCommands();
  // A command may have changed what the receive tick acts on (the end
  // command stops a waiting run): one tick now, not at the next data.
  heartbeat_.TickSoon();
}

void CMainFrame::RefreshCommands() {
  if (releaseTimer_.isActive()) return;  // closing: the commands stay off
  for (const auto& [id, action] : actions_) {
    action->setEnabled(router_.IsEnabled(id));
    if (action->isCheckable()) action->setChecked(router_.IsChecked(id));
  }
  StartPacer();
  UpdateProgress();
  UpdateLink();
  UpdateNextRun();
  // Progress moves while a sender runs.
  if (station_.Sending() && !shutDown_ && !closing_) RefreshSoon();
}

void CMainFrame::RefreshSoon() {
  if (!idleTimer_.isActive() && !shutDown_ && !closing_) idleTimer_.start();
}

void CMainFrame::StartPacer() {
  if (!shutDown_ && !closing_) heartbeat_.KickSenders();
}

void CMainFrame::UpdateProgress() {
  if (releaseTimer_.isActive()) return;  // 切断中… stays until the window closes
  QString text = ProgressText();
  // Between runs the bar tells how the last one ended, or the newer note
  // about the port.
  if (text.isEmpty()) text = idleText_;
  if (text == shownProgress_) return;
  shownProgress_ = text;
  if (text.isEmpty())
    statusBar()->clearMessage();  // back to "レディ"
  else
    statusBar()->showMessage(text);
}

void CMainFrame::Run(Command id) {
  if (!router_.Execute(id)) return;  // a disabled command is never executed
  if (!closing_) UpdateCommands();
}

void CMainFrame::Exit() { close(); }

void CMainFrame::ToggleToolBar() { toolbar_->setVisible(!toolbar_->isVisible()); }

void CMainFrame::ToggleStatusBar() { statusBar()->setVisible(!statusBar()->isVisible()); }

void CMainFrame::ToggleActivityPane() { activity_->setVisible(activity_->isHidden()); }

bool CMainFrame::ToolBarShown() const { return toolbar_->isVisible() || !isVisible(); }

bool CMainFrame::StatusBarShown() const { return statusBar()->isVisible() || !isVisible(); }

bool CMainFrame::ActivityPaneShown() const { return !activity_->isHidden(); }

void CMainFrame::ChooseFont() {
  // Starts from the font of the pane that asks.
  router_.SelectFont(router_.HistoryActive() ? static_cast<CNamiView2*>(history_)->PaneFont() : view_->TerminalFont());
}

void CMainFrame::SwitchPane(bool /*next*/) {
  // Two panes: next and previous both go to the other one.
  if (view_->hasFocus())
    history_->setFocus();
  else
    view_->setFocus();
}

void CMainFrame::ShowAbout() { ShowAboutBox(this, QFile::decodeName(settings_.Path().c_str())); }

void CMainFrame::UpdateTitle() { setWindowTitle(FromCp932(station_.Title()) + QStringLiteral(" - Nami")); }

void CMainFrame::RestoreGeometry() {
  CSettings& s = settings_;
  const QSize def = FirstStartSize();
  const int w = s.Has(keys::Width) ? s.GetInt(keys::Width) : def.width();
  const int h = s.Has(keys::Height) ? s.GetInt(keys::Height) : def.height();
  move(s.GetInt(keys::X), s.GetInt(keys::Y));
  // A zero or negative size (a damaged file) would leave no usable window.
  resize(std::max(w, 100), std::max(h, 100));
}

void CMainFrame::StoreGeometry() {
  CSettings& s = settings_;
  s.SetInt(keys::X, pos().x());
  s.SetInt(keys::Y, pos().y());
  s.SetInt(keys::Width, width());
  s.SetInt(keys::Height, height());
  if (placed_) s.SetInt(keys::HistoryHeight, splitter_->sizes().value(0));
  s.Set(keys::ActivityPane, activity_->isHidden() ? "0" : "1");
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (placed_) return;
  placed_ = true;
  // Once the window has its first layout, the history pane gets its
  // remembered height, else two thirds.
  QTimer::singleShot(0, this, [this] {
    const int total = std::max(2, splitter_->height() - splitter_->handleWidth());
    CSettings& s = settings_;
    const int history =
        s.Has(keys::HistoryHeight) ? std::clamp(s.GetInt(keys::HistoryHeight), 1, total - 1) : total * 2 / 3;
    splitter_->setSizes({history, total - history});
  });
}

bool CMainFrame::ConfirmClose(bool exiting) {
  auto ask = [this](const QString& question) {
    if (askOnExit) return askOnExit(question);
    const auto button =
        QMessageBox::question(this, QStringLiteral("Nami"), question,
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return button == QMessageBox::Save      ? ExitChoice::Save
           : button == QMessageBox::Discard ? ExitChoice::Discard
                                            : ExitChoice::Cancel;
  };
  if (!station_.PathName().empty()) {
    if (router_.Save()) return true;
    // The message said why; the text must not go without the user's word.
    return ask(exiting ? QStringLiteral("受信したテキストを保存できませんでした。保存せずに終了しますか?")
                       : QStringLiteral("受信したテキストを保存できませんでした。保存せずに閉じますか?")) ==
           ExitChoice::Discard;
  }
  if (!station_.HasText()) return true;  // nothing received: nothing to lose
  for (;;) {
    switch (ask(QStringLiteral("受信したテキストを保存しますか?"))) {
      case ExitChoice::Discard:
        return true;
      case ExitChoice::Cancel:
        return false;
      case ExitChoice::Save:
        // A cancelled file dialog or a failed write keeps nami running.
        return router_.SaveAs();
    }
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (closing_) {
    // The release has ended, or a second close does not wait for it.
    FinishClose();
    event->accept();
    return;
  }
  // Asked while everything still runs: cancel leaves nami as it was.
  if (!ConfirmClose()) {
    event->ignore();
    return;
  }
  closing_ = true;
  heartbeat_.Stop();
  view_->StopRepaints();
  idleTimer_.stop();
  // Every running operation ends at once; the link's release is awaited
  // with the event loop running, and the window closes when it is over.
  if (station_.BeginShutdown()) {
    // Nothing new may start on the link being released; the close button
    // still works.
    if (centralWidget()) centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    toolbar_->setEnabled(false);
    for (auto& [id, action] : actions_) action->setEnabled(false);
    statusBar()->showMessage(QString::fromStdString(msg::LinkReleasing));
    releaseTimer_.start();
    event->ignore();
    return;
  }
  FinishClose();
  event->accept();
}

void CMainFrame::FinishClose() {
  releaseTimer_.stop();
  Shutdown();
  clockTimer_.stop();
  StoreGeometry();
}

void CMainFrame::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // Quitting without the close (a termination signal) keeps the window's
  // place too; a window never shown has none worth keeping.
  if (!closing_ && isVisible()) StoreGeometry();
  heartbeat_.Stop();
  view_->StopRepaints();
  idleTimer_.stop();
  station_.Shutdown();
  UpdateProgress();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      router_.OpenPath(url.toLocalFile());
      break;
    }
  }
  event->acceptProposedAction();
}

}  // namespace nami
