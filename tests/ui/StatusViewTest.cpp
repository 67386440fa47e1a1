// What the window shows of nami's work: the link light, the activity pane,
// the run's summary, the first window's size and the keys people expect.
// Rendered for real (grab()) where it is about what the user sees.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/Command.h"
#include "ui/NamiView2.h"

namespace nami {
namespace {

using test::FrameFixture;

bool Near(QColor a, QColor b, int tolerance = 40) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

int CountNear(const QImage& image, QColor color, int tolerance = 30) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += Near(image.pixelColor(x, y), color, tolerance) ? 1 : 0;
  return n;
}

// Runs receive ticks until `done` holds (at most 2 s).
template <typename Done>
bool TickUntil(FrameFixture& f, Done done) {
  for (int i = 0; i < 200 && !done(); ++i) {
    f.session->Tick();
    f.frame->UpdateCommands();
    FrameFixture::Pump(10);
  }
  return done();
}

TEST(LinkLight, EachStateIsDrawnInItsColour) {
  test::App();
  for (auto light :
       {CLinkLight::Light::Off, CLinkLight::Light::Busy, CLinkLight::Light::On, CLinkLight::Light::Fault}) {
    CLinkLight widget;
    widget.SetState(light, QStringLiteral("接続 QZ1ABC 00:00:05"));
    widget.resize(widget.sizeHint());
    const QImage image = widget.grab().toImage();
    const int d = widget.fontMetrics().height() - 2;
    const QColor centre = image.pixelColor(3 + d / 2, image.height() / 2);
    EXPECT_TRUE(Near(centre, CLinkLight::ColorOf(light), 8)) << centre.name().toStdString();
    EXPECT_GT(CountNear(image, CLinkLight::ColorOf(light), 8), d * d / 3) << "a filled light";
  }
}

TEST(LinkLight, FollowsTheTncAndShowsThePort) {
  FrameFixture f;
  CLinkLight* light = f.frame->LinkLight();
  ASSERT_NE(light, nullptr);
  f.frame->UpdateCommands();
  EXPECT_EQ(light->State(), CLinkLight::Light::Off);
  EXPECT_TRUE(light->Text().startsWith(QStringLiteral("未接続  /dev/ttyS1"))) << light->Text().toStdString();

  f.port->Deliver("cmd:CONNECT QZ1ABC\r\n");
  ASSERT_TRUE(TickUntil(f, [&] { return light->State() == CLinkLight::Light::Busy; }));
  EXPECT_TRUE(light->Text().startsWith(QStringLiteral("接続中 QZ1ABC"))) << light->Text().toStdString();
  f.port->Deliver("*** CONNECTED to QZ1ABC\r\n");
  ASSERT_TRUE(TickUntil(f, [&] { return light->State() == CLinkLight::Light::On; }));
  f.clock.AdvanceMs(65000);
  f.frame->UpdateCommands();
  EXPECT_TRUE(light->Text().startsWith(QStringLiteral("接続 QZ1ABC 00:01:05"))) << light->Text().toStdString();
  f.port->Deliver("*** QZ1ABC busy\r\n*** DISCONNECTED\r\n");
  ASSERT_TRUE(TickUntil(f, [&] { return light->State() == CLinkLight::Light::Off; }));

  // A port that did not open: red, with the device.
  f.port->failOpen = true;
  f.session->NewDocument();
  f.frame->UpdateCommands();
  EXPECT_EQ(light->State(), CLinkLight::Light::Fault);
  EXPECT_EQ(light->Text(), QStringLiteral("ポートが開いていません: /dev/ttyS1"));
  f.frame->show();
  FrameFixture::Pump(50);
  const QImage shown = light->grab().toImage();
  EXPECT_GT(CountNear(shown, CLinkLight::ColorOf(CLinkLight::Light::Fault), 8), 10);
}

TEST(ActivityPane, HiddenAtFirstToggledFromTheMenuAndRemembered) {
  FrameFixture f;
  CActivityPane* pane = f.frame->ActivityPane();
  ASSERT_NE(pane, nullptr);
  f.frame->show();
  FrameFixture::Pump(20);
  EXPECT_FALSE(pane->isVisible());
  QAction* toggle = f.frame->Action(Command::ActivityPane);
  ASSERT_NE(toggle, nullptr);
  EXPECT_EQ(toggle->text(), QStringLiteral("運用ログ(&Oｳ)"));
  bool inSettings = false;
  for (QAction* a : f.frame->menuBar()->actions()[5]->menu()->actions()) inSettings = inSettings || a == toggle;
  EXPECT_TRUE(inSettings);
  toggle->trigger();
  FrameFixture::Pump(20);
  EXPECT_TRUE(pane->isVisible());
  f.frame->close();
  EXPECT_EQ(f.settings->Get(keys::ActivityPane), "1");

  CMainFrame again(*f.session, *f.recent);
  again.show();
  FrameFixture::Pump(20);
  EXPECT_TRUE(again.ActivityPane()->isVisible());
}

TEST(ActivityPane, ShowsEntriesWithSentTextInItsOwnColour) {
  FrameFixture f;
  CActivityPane* pane = f.frame->ActivityPane();
  pane->show();
  f.frame->show();
  FrameFixture::Pump(20);
  const QImage before = pane->View()->viewport()->grab().toImage();
  EXPECT_EQ(CountNear(before, CActivityPane::SentColor()), 0);

  f.session->Activity().Add(ActivityKind::Step, "リスト読み出し");
  f.session->Activity().AddSent("LIST\r");
  FrameFixture::Pump(20);
  const QStringList lines = pane->View()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral("  リスト読み出し")));
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("  > LIST")));
  const QImage after = pane->View()->viewport()->grab().toImage();
  EXPECT_GT(CountNear(after, CActivityPane::SentColor()), 10) << "sent text is drawn in its colour";

  // A run's outcome ends its block: the next run starts after a blank line.
  f.session->Activity().Add(ActivityKind::Outcome, "完了");
  f.session->Activity().Add(ActivityKind::Step, "自動モード開始");
  const QStringList runs = pane->View()->toPlainText().split('\n');
  ASSERT_EQ(runs.size(), 5);
  EXPECT_TRUE(runs[2].endsWith(QStringLiteral("完了")));
  EXPECT_EQ(runs[3], QString());
  EXPECT_TRUE(runs[4].endsWith(QStringLiteral("自動モード開始")));
}

TEST(MainWindow, FirstStartFitsTheMenuBarAndGivesHistoryTwoThirds) {
  FrameFixture f;
  f.frame->show();
  FrameFixture::Pump(50);
  QMenuBar* bar = f.frame->menuBar();
  for (QAction* menu : bar->actions())
    EXPECT_LE(bar->actionGeometry(menu).right(), bar->width()) << menu->text().toStdString();
  if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"))) {
    EXPECT_FALSE(more->isVisible()) << "no \"»\" button";
  }
  const QList<int> sizes = f.frame->Splitter()->sizes();
  ASSERT_EQ(sizes.size(), 2);
  const double share = double(sizes[0]) / (sizes[0] + sizes[1]);
  EXPECT_NEAR(share, 2.0 / 3.0, 0.05);
  EXPECT_GE(sizes[1], 5 * QFontMetrics(f.frame->TerminalPane()->TerminalFont()).lineSpacing());

  // The splitter is remembered with the geometry.
  f.frame->Splitter()->setSizes({sizes[0] - 40, sizes[1] + 40});
  const int history = f.frame->Splitter()->sizes()[0];
  f.frame->close();
  EXPECT_EQ(f.settings->GetInt(keys::HistoryHeight), history);
  CMainFrame again(*f.session, *f.recent);
  again.show();
  FrameFixture::Pump(50);
  EXPECT_EQ(again.Splitter()->sizes()[0], history);
}

TEST(MainWindow, SearchKeysWorkFromEitherPaneAndTheHitIsHighlighted) {
  FrameFixture f;
  for (int i = 0; i < 100; ++i)
    f.session->Doc().Lines().AddLine(i == 10 || i == 25 ? test::Sjis("xx 検索語 yy") : "line " + std::to_string(i));
  auto* history = static_cast<CNamiView2*>(f.frame->HistoryPane());
  history->OnStoreChanged();
  bool asked = false;
  history->SetSearchRequest([&](const QString&, CNamiView2::TextDone done) {
    asked = true;
    done(true, QStringLiteral("検索語"));
  });
  f.frame->show();
  f.frame->activateWindow();
  f.frame->TerminalPane()->setFocus();
  FrameFixture::Pump(50);
  ASSERT_TRUE(f.frame->Action(Command::SearchDown)->isEnabled()) << "from the terminal pane too";
  // Ctrl+F is the terminal's control character (0x06); in the history pane
  // it asks for the search text.
  QTest::keyClick(f.frame->TerminalPane(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_FALSE(asked);
  EXPECT_EQ(f.port->TakeSent(), "\x06");
  history->setFocus();
  QTest::keyClick(history, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(asked) << "Ctrl+F asks for the search text";
  EXPECT_TRUE(f.port->sent.empty()) << "the key does not go to the TNC";
  f.frame->TerminalPane()->setFocus();
  QTest::keyClick(f.frame->TerminalPane(), Qt::Key_F3);
  QTest::keyClick(f.frame->TerminalPane(), Qt::Key_F3);
  FrameFixture::Pump(20);
  EXPECT_EQ(history->HitLine(), 25);
  EXPECT_EQ(history->TopLine(), 25);
  const QImage image = history->viewport()->grab().toImage();
  EXPECT_GT(CountNear(image, CNamiView2::HitColor(), 20), image.width() / 2) << "the hit's row is highlighted";
  QTest::keyClick(f.frame->TerminalPane(), Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(history->HitLine(), 10) << "Shift+F3 goes back up";
  EXPECT_EQ(f.frame->Action(Command::AutoModeStart)->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(f.frame->Action(Command::AutoModeEnd)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F5));
  EXPECT_EQ(f.frame->Action(Command::AutoModeStart)->toolTip(), QStringLiteral("自動ﾓｰﾄﾞ開始 (F5)"));
}

TEST(MainWindow, TheNextScheduledRunStandsBesideTheLinkLight) {
  FrameFixture f;
  f.frame->show();
  f.settings->Set(keys::Min, "5");
  f.session->StartSchedule();
  f.frame->UpdateCommands();
  FrameFixture::Pump(20);
  const std::tm now = LocalTime(f.clock.Now());
  const std::string at = FormatLocalTime("%H:%M", f.clock.Now() + 5 * 60 - now.tm_sec);
  QLabel* next = f.frame->NextRunLabel();
  EXPECT_EQ(next->text(), QStringLiteral("次回 ") + QString::fromStdString(at));
  EXPECT_TRUE(next->isVisible());
  EXPECT_LE(next->geometry().right(), f.frame->LinkLight()->geometry().left());

  f.settings->Set(keys::Min, "-1");  // no schedule
  f.frame->UpdateCommands();
  EXPECT_FALSE(next->isVisible());
}

TEST(MainWindow, ADuplicateAccessKeyReachesEachItemInTurn) {
  FrameFixture f;
  f.frame->show();
  FrameFixture::Pump(20);
  QMenu* edit = f.frame->menuBar()->actions()[1]->menu();
  edit->popup(QPoint(0, 0));
  FrameFixture::Pump(20);
  QTest::keyClick(edit, Qt::Key_F);  // "ﾌｧｲﾙにｺﾋﾟｰ(&F)" and "検索条件(&F)"
  EXPECT_EQ(edit->activeAction(), f.frame->Action(Command::CopyToFile));
  QTest::keyClick(edit, Qt::Key_F);
  EXPECT_EQ(edit->activeAction(), f.frame->Action(Command::SearchCondition));
  edit->close();
}

TEST(DemoWindow, ScreenshotAfterADemoRun) {
  test::App();
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  CManualClock clock(1796000000);
  CStation session(settings, clock, true);
  settings.Set(keys::ListFile, dir.File("list.log"));
  settings.Set(keys::MailFile, dir.File("mail.log"));
  CRecentFiles recent(CRecentFiles::PathBeside(dir.File("NAMI.INI")));
  CMainFrame frame(session, recent);
  session.NewDocument();
  frame.ActivityPane()->show();
  frame.show();
  FrameFixture::Pump(50);

  auto cycle = [&] {
    for (int i = 0; i < 10; ++i) {
      clock.AdvanceMs(5);
      session.Doc().Sending().Run();
    }
    frame.Heartbeat().RunTick();
    frame.UpdateCommands();
    QApplication::processEvents();
  };
  frame.Action(Command::AutoModeStart)->trigger();
  for (int t = 0; t < 600000 && session.Autopilot().Busy(); t += 50) cycle();
  for (int t = 0; t < 3000; t += 50) cycle();  // the TNC answers the log-off
  FrameFixture::Pump(100);

  const QString summary = QString::fromStdString(FormatSummary(session.Autopilot().LastSummary()));
  EXPECT_TRUE(summary.startsWith(QStringLiteral("完了 (completed) — 送信 1 通"))) << summary.toStdString();
  // The window shows the Japanese form; the bilingual one is for standard output.
  const QString japanese = QString::fromStdString(FormatSummary(session.Autopilot().LastSummary(), true));
  EXPECT_TRUE(japanese.startsWith(QStringLiteral("完了 — 送信 1 通"))) << japanese.toStdString();
  CElidedLabel* label = frame.RunSummaryLabel();
  const QString shown = label->Text();
  EXPECT_EQ(shown.size(), 10 + japanese.size());
  EXPECT_TRUE(shown.at(2) == u':' && shown.endsWith(QStringLiteral("  ") + japanese))
      << "the time and the summary stay in the status bar: " << shown.toStdString();
  EXPECT_EQ(label->toolTip(), shown);
  EXPECT_TRUE(frame.ActivityPane()->View()->toPlainText().endsWith(summary));

  // A menu's prompt in the message pane leaves it where it is; a narrow
  // window cuts it with "…".
  frame.statusBar()->showMessage(QStringLiteral("既存のﾌｧｲﾙを開く"));
  FrameFixture::Pump(20);
  EXPECT_TRUE(label->isVisible());
  EXPECT_EQ(label->Text(), shown);
  frame.statusBar()->clearMessage();
  const QSize wide = frame.size();
  frame.resize(600, frame.height());
  FrameFixture::Pump(50);
  EXPECT_TRUE(label->ShownText().endsWith(QStringLiteral("…"))) << label->ShownText().toStdString();
  EXPECT_LE(label->width(), frame.width());
  frame.resize(wide);
  FrameFixture::Pump(50);
  EXPECT_EQ(frame.LinkLight()->Text(), QStringLiteral("未接続  シミュレーター"));

  const QImage img = frame.grab().toImage();
  ASSERT_FALSE(img.isNull());
  const char* artifacts = std::getenv("NAMI_ARTIFACTS");
  if (!artifacts) GTEST_SKIP() << "NAMI_ARTIFACTS not set: no screenshot saved";
  QDir().mkpath(QString::fromLocal8Bit(artifacts));
  const QString file = QString::fromLocal8Bit(artifacts) + QStringLiteral("/demo-run.png");
  EXPECT_TRUE(img.save(file, "PNG")) << file.toStdString();
}

}  // namespace
}  // namespace nami
