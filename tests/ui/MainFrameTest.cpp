// The main frame: menus, toolbar, enabling rules, status bar, geometry and
// the font command.
#include <gtest/gtest.h>

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>
#include <QUrl>
#include <filesystem>
#include <utility>
#include <vector>

#include "UiTestSupport.h"
#include "time/Clock.h"
#include "ui/Command.h"

namespace nami {
namespace {

using test::FrameFixture;
using C = Command;

// A command's number as its actions carry it; 0 is a separator.
int N(Command id) { return static_cast<int>(id); }

// The labels, access keys, accelerators, prompts and tips of the menus,
// the toolbar and the context menu are pinned in tests/data/menus.golden
// (MenuGoldenTest.cpp).

TEST(MainFrame, ToolbarButtonsInOrderWithTips) {
  FrameFixture f;
  std::vector<int> ids;
  for (QAction* a : f.frame->ToolBar()->actions()) ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
  const std::vector<int> expected = {N(C::Upload),
                                     N(C::Download),
                                     N(C::RetroDownload),
                                     0,
                                     N(C::Connect),
                                     N(C::ListRead),
                                     N(C::MailRead),
                                     N(C::MailSend),
                                     N(C::AutoModeEnd),
                                     0,
                                     N(C::AutoModeStart),
                                     N(C::AutoModeSettings),
                                     0,
                                     N(C::ListView),
                                     N(C::MailView),
                                     N(C::MailCreate),
                                     N(C::SendMailSelect),
                                     N(C::Mailbox),
                                     0,
                                     N(C::UserManual)};
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(f.frame->Action(Command::AutoModeStart)->toolTip(), QStringLiteral("自動ﾓｰﾄﾞ開始 (F5)"));
  EXPECT_EQ(f.frame->Action(Command::Upload)->statusTip(), QStringLiteral("ディスクからのファイルのアップロード"));
  EXPECT_FALSE(f.frame->Action(Command::Upload)->icon().isNull());
}

TEST(MainFrame, CommandsFollowTheirFlags) {
  FrameFixture f;
  auto enabled = [&](Command id) {
    f.frame->UpdateCommands();
    return f.frame->Action(id)->isEnabled();
  };
  EXPECT_TRUE(enabled(Command::FileNew));
  EXPECT_TRUE(enabled(Command::FontSelect));
  // The history pane's own command: disabled while the terminal pane is
  // active; searching the history works from either pane.
  EXPECT_TRUE(enabled(Command::SearchCondition));
  EXPECT_FALSE(enabled(Command::EditAndSend));
  // No handler in this program.
  EXPECT_FALSE(enabled(Command::EditUndo));
  EXPECT_FALSE(enabled(Command::EditCut));

  f.session->Autopilot().State().Raise(RunEvent::RunEnded);
  EXPECT_TRUE(enabled(Command::AutoModeStart));
  f.session->Autopilot().State().Raise(RunEvent::StepFault);  // a step aborted with the link up
  for (Command id : {Command::AutoModeStart, Command::Connect, Command::MailSend, Command::ListRead, Command::MailRead})
    EXPECT_FALSE(enabled(id)) << N(id);
  EXPECT_TRUE(enabled(Command::AutoModeEnd));

  // The transfers' own state, started and stopped for real.
  CTransfers& transfers = f.session->Transfers();
  const std::string upl = f.dir.File("long.upl");
  test::WriteFile(upl, std::string(4096, 'u'));
  EXPECT_TRUE(enabled(Command::Upload));
  EXPECT_FALSE(enabled(Command::UploadStop));
  ASSERT_TRUE(transfers.StartUpload(upl));
  EXPECT_FALSE(enabled(Command::Upload));
  EXPECT_TRUE(enabled(Command::UploadStop));
  ASSERT_TRUE(transfers.StartCapture(f.dir.File("flags.dwn")));
  EXPECT_FALSE(enabled(Command::Download));
  EXPECT_FALSE(enabled(Command::RetroDownload));
  EXPECT_TRUE(enabled(Command::DownloadEnd));
  ASSERT_EQ(transfers.StartPasteSend(0, std::string(4096, 'p')), 0u);
  EXPECT_FALSE(enabled(Command::EditPaste));
  EXPECT_TRUE(enabled(Command::PasteStop));
  transfers.StopPasteSend();
  EXPECT_TRUE(enabled(Command::EditPaste));
  EXPECT_FALSE(enabled(Command::PasteStop));
  transfers.StopUpload();
  transfers.StopCapture();
  // A disabled command is not executed, whatever asks for it.
  ASSERT_TRUE(transfers.StartUpload(upl));
  EXPECT_FALSE(f.frame->Router().Execute(Command::Upload));
}

TEST(MainFrame, ClockPaneShowsTheLocalTime) {
  FrameFixture f;
  const QString text = f.frame->ClockPane()->text();
  EXPECT_EQ(text.toStdString(), FormatLocalTime("%c", f.clock.Now()));
  f.clock.AdvanceMs(5000);
  FrameFixture::Pump(1100);
  EXPECT_EQ(f.frame->ClockPane()->text().toStdString(), FormatLocalTime("%c", f.clock.Now()));
  EXPECT_NE(f.frame->ClockPane()->text(), text);

  // The pane keeps a fixed size (an update repaints it alone), yet every
  // day of the week and every date fits in it whole.
  QLabel* pane = f.frame->ClockPane();
  for (int day = 0; day < 7; ++day) {  // every day of the week, other dates and hours
    f.clock.AdvanceMs(86400000LL * 5 + 3600000LL * 7 + 61000);
    QElapsedTimer t;
    t.start();
    while (pane->text().toStdString() != FormatLocalTime("%c", f.clock.Now()) && t.elapsed() < 3000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(pane->text().toStdString(), FormatLocalTime("%c", f.clock.Now()));
    EXPECT_GE(pane->width(), pane->fontMetrics().horizontalAdvance(pane->text())) << pane->text().toStdString();
    EXPECT_EQ(pane->minimumWidth(), pane->maximumWidth());
  }
}

TEST(MainFrame, FirstStartUsesTheDefaultsAndExitStoresTheGeometry) {
  FrameFixture f;
  const QSize def = CMainFrame::DefaultSize(CMainFrame::FrameFont(*f.settings));
  EXPECT_EQ(f.frame->pos(), QPoint(100, 100));
  EXPECT_EQ(f.frame->size(), f.frame->FirstStartSize());
  EXPECT_GE(f.frame->width(), def.width());
  EXPECT_GE(f.frame->height(), def.height());
  EXPECT_GT(def.width(), 84 * 4);

  f.frame->resize(700, 500);
  f.frame->close();
  EXPECT_FALSE(f.port->open) << "exit closes the port";
  EXPECT_FALSE(f.frame->Heartbeat().Active());
  CSettings& s = *f.settings;
  EXPECT_EQ(s.Raw(keys::X), "100");
  EXPECT_EQ(s.Raw(keys::Y), "100");
  EXPECT_EQ(s.Raw(keys::Width), "700");
  EXPECT_EQ(s.Raw(keys::Height), "500");
}

TEST(MainFrame, QuittingWithoutTheWindowsCloseStillStoresTheGeometry) {
  FrameFixture f;
  f.frame->show();
  f.frame->resize(640, 420);
  f.frame->Shutdown();  // what a termination signal does
  EXPECT_EQ(f.settings->Raw(keys::Width), "640");
  EXPECT_EQ(f.settings->Raw(keys::Height), "420");
  EXPECT_FALSE(f.port->open);

  FrameFixture hidden;  // started for automation: no window, nothing stored
  hidden.frame->Shutdown();
  EXPECT_EQ(hidden.settings->Raw(keys::Width), "");
}

TEST(MainFrame, StartReadsGeometryAndFontFromTheSettings) {
  FrameFixture f("[Window]\r\nx=210\r\ny=120\r\nwidth=640\r\nheight=480\r\nfontname=IPAGothic\r\nfontsize=20\r\n");
  EXPECT_EQ(f.frame->pos(), QPoint(210, 120));
  EXPECT_EQ(f.frame->size(), QSize(640, 480));
  const QFont& font = f.frame->TerminalPane()->TerminalFont();
  EXPECT_EQ(font.pixelSize(), 20);
  EXPECT_EQ(font.family(), QStringLiteral("IPAGothic"));
}

TEST(MainFrame, MissingFaceFallsBackToAJapaneseMonospaceFace) {
  FrameFixture f("[Window]\r\nfontname=NoSuchFace\r\n");
  const QString family = f.frame->TerminalPane()->TerminalFont().family();
  EXPECT_TRUE(family == "IPAGothic" || family == "Noto Sans Mono CJK JP") << family.toStdString();
  FrameFixture g;  // "FixedSys", the default, does not exist here either
  EXPECT_NE(g.frame->TerminalPane()->TerminalFont().family(), QStringLiteral("FixedSys"));
  EXPECT_NE(g.frame->TerminalPane()->TerminalFont().family(), QStringLiteral("monospace"));
}

TEST(MainFrame, FontCommandWritesTheChoiceAndChangesNothingOnScreen) {
  FrameFixture f;
  const QFont before = f.frame->TerminalPane()->TerminalFont();
  f.frame->Router().chooseFont = [](QFont& font) {
    font = QFont(QStringLiteral("IPAGothic"));
    font.setPointSizeF(14.7);
    return true;
  };
  f.frame->Action(Command::FontSelect)->trigger();
  EXPECT_EQ(f.settings->Raw(keys::FontName), "IPAGothic");
  EXPECT_EQ(f.settings->Raw(keys::FontSize), "14");
  EXPECT_EQ(f.frame->TerminalPane()->TerminalFont(), before);

  // The dialog starts at the size the setting holds, so OK without a change
  // keeps the number.
  f.settings->Set(keys::FontSize, "12");
  QFont offered;
  f.frame->Router().chooseFont = [&offered](QFont& font) {
    offered = font;
    return true;
  };
  f.frame->Action(Command::FontSelect)->trigger();
  EXPECT_EQ(offered.pointSize(), 12);
  EXPECT_EQ(offered.family(), before.family());
  EXPECT_EQ(f.settings->Raw(keys::FontSize), "12");

  f.frame->Router().chooseFont = [](QFont&) { return false; };  // cancelled: nothing written
  f.settings->Set(keys::FontSize, "9");
  f.frame->Action(Command::FontSelect)->trigger();
  EXPECT_EQ(f.settings->Raw(keys::FontSize), "9");
}

TEST(MainFrame, ToolbarCommandHidesAndShowsTheToolbar) {
  FrameFixture f;
  f.frame->show();
  ASSERT_TRUE(f.frame->ToolBar()->isVisible());
  f.frame->Action(Command::ViewToolbar)->trigger();
  EXPECT_FALSE(f.frame->ToolBar()->isVisible());
  f.frame->Action(Command::ViewToolbar)->trigger();
  EXPECT_TRUE(f.frame->ToolBar()->isVisible());
}

TEST(MainFrame, ADroppedFileIsOpenedAsTheDocument) {
  FrameFixture f;
  test::WriteFile(f.dir.File("dropped.nmi"), "not a document");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(f.dir.File("dropped.nmi")))});
  f.frame->show();
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject*>(f.frame.get())->event(&drop);
  ASSERT_EQ(f.messages.size(), 1) << "the file was tried and refused with a message";
  EXPECT_TRUE(f.messages[0].startsWith(QStringLiteral("dropped.nmi を開けません。")));
  EXPECT_EQ(f.session->Doc().Title(), CSettings::UntitledTitle()) << "the document did not change";
}

TEST(MainFrame, ExitSavesTheDocumentAskingForANameWhenNeverSaved) {
  FrameFixture f;
  f.port->Deliver("kept line\n");
  f.frame->Heartbeat().RunTick();
  f.nextFile = QString::fromStdString(f.dir.File("mystation.nmi"));
  f.frame->close();
  EXPECT_TRUE(test::FileExists(f.dir.File("mystation.nmi")));
  EXPECT_EQ(f.session->Doc().Title(), "mystation");
  EXPECT_EQ(f.recent->Items().front(), f.dir.File("mystation.nmi"));

  FrameFixture g;
  test::WriteFile(g.dir.File("broken.nmi"), "no compound file");
  EXPECT_FALSE(g.frame->Router().OpenPath(QString::fromStdString(g.dir.File("broken.nmi"))));
  ASSERT_EQ(g.messages.size(), 1);
  EXPECT_TRUE(g.messages[0].startsWith(QStringLiteral("broken.nmi を開けません。")));
  EXPECT_TRUE(g.frame->Router().OpenPath(QString::fromStdString(f.dir.File("mystation.nmi"))));
  EXPECT_EQ(g.session->Doc().Lines().LastLine(), "kept line");
  EXPECT_TRUE(g.frame->windowTitle().startsWith(QStringLiteral("mystation")));
}

TEST(MainFrame, ADocumentWithAJapaneseNameShowsItAndUsesItsCp932Section) {
  FrameFixture f;
  const std::string folder = f.dir.File("ドキュメント");
  std::filesystem::create_directory(folder);
  f.session->Settings().Set(keys::Call, "JA1TKY");
  f.nextFile = QString::fromStdString(folder + "/東京.nmi");
  ASSERT_TRUE(f.frame->Router().SaveAs());
  EXPECT_EQ(f.session->Doc().Title(), test::Sjis("東京"));
  EXPECT_EQ(f.frame->windowTitle(), QStringLiteral("東京 - Nami"));
  EXPECT_EQ(f.recent->Items().front(), folder + "/東京.nmi");
  ASSERT_FALSE(f.frame->RecentActions().isEmpty());
  EXPECT_TRUE(f.frame->RecentActions().first()->text().endsWith(QStringLiteral("ドキュメント/東京.nmi")));
  // The profile was copied into the section a Windows NAMI.INI would have.
  EXPECT_NE(test::ReadFile(f.session->Settings().Path()).find(test::Sjis("[東京]\r\n")), std::string::npos);
  EXPECT_EQ(f.session->Settings().Raw(keys::Call), "JA1TKY");

  // A name CP932 cannot hold would make a section of "?": refused, naming it.
  const std::string hangul = folder + "/무선.nmi";
  f.nextFile = QString::fromStdString(hangul);
  EXPECT_FALSE(f.frame->Router().SaveAs());
  EXPECT_FALSE(test::FileExists(hangul));
  std::filesystem::copy_file(folder + "/東京.nmi", hangul);
  EXPECT_FALSE(f.frame->Router().OpenPath(QString::fromStdString(hangul)));
  ASSERT_EQ(f.messages.size(), 2);
  for (const QString& m : f.messages) EXPECT_TRUE(m.contains(QStringLiteral("무선"))) << m.toStdString();
  EXPECT_EQ(f.session->Doc().Title(), test::Sjis("東京"));
}

TEST(MainFrame, RecentFilesKeepTheTenNewestBesideTheSettingsFile) {
  EXPECT_EQ(CRecentFiles::PathBeside("/home/q/.config/nami/NAMI.INI"), "/home/q/.config/nami/recent-files");
  test::TempDir dir;
  const std::string list = dir.File("recent-files");
  {
    CRecentFiles r(list);
    for (int i = 0; i < 12; ++i) r.Add("/d/f" + std::to_string(i) + ".nmi");
    r.Add("/d/f5.nmi");  // again: moves to the top, not listed twice
    ASSERT_EQ(r.Items().size(), 10u);
    EXPECT_EQ(r.Items()[0], "/d/f5.nmi");
    EXPECT_EQ(r.Items()[1], "/d/f11.nmi");
    EXPECT_EQ(r.Items()[9], "/d/f2.nmi");
  }
  CRecentFiles again(list);
  ASSERT_EQ(again.Items().size(), 10u);
  EXPECT_EQ(again.Items()[0], "/d/f5.nmi");
  EXPECT_EQ(again.Items()[9], "/d/f2.nmi");
}

TEST(MainFrame, ASavedDocumentIsOfferedInTheFileMenuAndReopensFromIt) {
  FrameFixture f;
  EXPECT_TRUE(f.frame->RecentActions().isEmpty()) << "no recent file yet";
  f.port->Deliver("saved line\n");
  f.frame->Heartbeat().RunTick();
  f.nextFile = QString::fromStdString(f.dir.File("station"));  // the extension is added
  f.frame->Action(Command::FileSaveAs)->trigger();
  ASSERT_TRUE(test::FileExists(f.dir.File("station.nmi")));
  f.frame->Action(Command::FileNew)->trigger();
  EXPECT_EQ(f.session->Doc().Lines().LineCount(), 0u);
  QAction* first = f.frame->RecentActions().value(0);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->text().endsWith(QStringLiteral("station.nmi")));
  first->trigger();
  EXPECT_EQ(f.session->Doc().Title(), "station");
  EXPECT_EQ(f.session->Doc().Lines().LastLine(), "saved line");
}

}  // namespace
}  // namespace nami
