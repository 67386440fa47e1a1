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

struct Item {
  Command id;
  const char* label;
};

TEST(MainFrame, MenusHoldEveryItemInOrderWithItsIdAndLabel) {
  FrameFixture f;
  const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
      {"相手局情報(&Fﾌ)",
       {{C::FileNew, "新規作成(&Nｼ)"},
        {C::FileOpen, "開く(&Oﾋ)..."},
        {C::FileSave, "上書き保存(&Sｳ)"},
        {C::FileSaveAs, "名前を付けて保存(&Aﾅ)..."},
        {C::OpenRecent, "以前開いたファイル"},
        {C::AppExit, "終了(&Xﾘ)"}}},
      {"編集(&Eｼ)",
       {{C::EditCopy, "コピー(&Cｺ)"},
        {C::EditPaste, "ペースト送信(&Pﾊ)"},
        {C::PasteStop, "ﾍﾟｰｽﾄ送信中止(&Aｽ)"},
        {C::CopyToFile, "ﾌｧｲﾙにｺﾋﾟｰ(&Fﾌ)"},
        {C::EditAndSend, "編集して送信(&Lﾍ)"},
        {C::SearchCondition, "検索条件(&Fｾ)"},
        {C::SearchUp, "上検索(&Uｳ)"},
        {C::SearchDown, "下検索(&Dｼ)"}}},
      {"ｱｯﾌﾟ/ﾀﾞｳﾝﾛｰﾄﾞ(&Tﾃ)",
       {{C::Upload, "アップロード(&Uｱ)"},
        {C::UploadStop, "アップロード中止(&Bﾁ)"},
        {C::Download, "ダウンロード(&Dﾀ)"},
        {C::RetroDownload, "さかのぼってﾀﾞｳﾝ(&Rｻ)"},
        {C::DownloadEnd, "ダウンロード終了(&Sｽ)"}}},
      {"ｴﾃﾞｨﾀｰ(&Rｴ)",
       {{C::MailCreate, "ﾒｰﾙ作成(&Sｶ)"}, {C::MailView, "ﾒｰﾙ読み出し(&Rﾖ)"}, {C::ListView, "ﾘｽﾄ読み出し(&Lﾘ)"}}},
      {"ｺﾏﾝﾄﾞ(&Cｺ)",
       {{C::AutoModeSettings, "自動ﾓｰﾄﾞの設定(&Vｾ)"},
        {C::AutoModeStart, "自動ﾓｰﾄﾞ起動(&Aｵ)"},
        {C::Connect, "相手局にｺﾈｸﾄ(&Cｺ)"},
        {C::MailSend, "ﾒｰﾙ自動送信(&Sｿ)"},
        {C::ListRead, "ﾘｽﾄ読みだし(&Lﾘ)"},
        {C::MailRead, "ﾒｰﾙ自動読出(&Rﾖ)"},
        {C::AutoModeEnd, "自動ﾓｰﾄﾞ終了(&Bｼ)"}}},
      {"設定(&Vﾋ)",
       {{C::StationSettings, "相手局の設定(&Cｺ)"},
        {C::SendMailSelect, "送信ﾒｰﾙ選択(&Sｿ)"},
        {C::FieldSettings, "ﾌｨｰﾙﾄﾞ設定(&Lﾘ)"},
        {C::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&Rﾖ)"},
        {C::EditIni, "INIﾌｧｲﾙの編集(&Iｲ)"},
        {C::ComPortSettings, "通信ﾎﾟｰﾄ設定(&Pﾂ)"},
        {C::EditorSettings, "ｴﾃﾞｨﾀｰの設定(&Eｴ)"},
        {C::FileNameSettings, "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&Fﾌ)"},
        {C::ViewToolbar, "ツールバー(&Tﾊ)"},
        {C::ViewStatusBar, "ステータス バー(&Sｽ)"},
        {C::ActivityPane, "運用ログ(&Oｳ)"},
        {C::FontSelect, "ﾌｫﾝﾄの選択(&Jﾁ)"},
        {C::NotifyOwnMail, "自局宛ﾒｰﾙを通知(&Mﾂ)"},
        {C::NotifyFailedRun, "定時運用の失敗を通知(&Nﾃ)"}}},
      {"ﾍﾙﾌﾟ(&Hﾍ)", {{C::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&Uﾕ)"}, {C::AppAbout, "バージョン情報(&Aﾊ)..."}}},
  };
  const QList<QAction*> menus = f.frame->menuBar()->actions();
  ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t m = 0; m < expected.size(); ++m) {
    EXPECT_EQ(menus[m]->text(), QString::fromUtf8(expected[m].first));
    std::vector<std::pair<int, QString>> got;
    for (QAction* a : menus[m]->menu()->actions())
      if (!a->isSeparator()) got.emplace_back(a->data().toInt(), a->text());
    ASSERT_EQ(got.size(), expected[m].second.size()) << expected[m].first;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, N(expected[m].second[i].id));
      EXPECT_EQ(got[i].second, QString::fromUtf8(expected[m].second[i].label));
    }
  }
  // The settings menu: the profile settings, a separator, then the program's own.
  std::vector<int> settingsMenu;
  for (QAction* a : menus[5]->menu()->actions()) settingsMenu.push_back(a->isSeparator() ? 0 : a->data().toInt());
  // The activity pane's switch before the font; the notification switches
  // after a second separator.
  const std::vector<int> expectedSettings = {N(C::StationSettings),  N(C::SendMailSelect),
                                             N(C::FieldSettings),    N(C::LastMailNo),
                                             N(C::EditIni),          0,
                                             N(C::ComPortSettings),  N(C::EditorSettings),
                                             N(C::FileNameSettings), N(C::ViewToolbar),
                                             N(C::ViewStatusBar),    N(C::ActivityPane),
                                             N(C::FontSelect),       0,
                                             N(C::NotifyOwnMail),    N(C::NotifyFailedRun)};
  EXPECT_EQ(settingsMenu, expectedSettings);
}

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
                                     0,
                                     N(C::UserManual)};
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(f.frame->Action(Command::AutoModeStart)->toolTip(), QStringLiteral("自動ﾓｰﾄﾞ開始 (F5)"));
  EXPECT_EQ(f.frame->Action(Command::Upload)->statusTip(), QStringLiteral("ディスクからのファイルのアップロード"));
  EXPECT_FALSE(f.frame->Action(Command::Upload)->icon().isNull());
}

TEST(MainFrame, StatusBarPromptsAndToolTips) {
  FrameFixture f;
  struct Texts {
    Command id;
    const char* prompt;
    const char* tip;  // "" = none of its own
  };
  const Texts expected[] = {
      {C::Upload, "ディスクからのファイルのアップロード", "ｱｯﾌﾟﾛｰﾄﾞ"},
      {C::Download, "ディスクへのファイルのダウンロード", "ﾀﾞｳﾝﾛｰﾄﾞ"},
      {C::RetroDownload, "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします", "さかのぼりﾀﾞｳﾝ"},
      {C::DownloadEnd, "ダウンロードを終了します", ""},
      {C::EditCopy, "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟ- (Ctrl+Ins)"},
      {C::EditPaste, "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け", "貼り付け (Shift+Ins)"},
      {C::PasteStop, "ペースト送信を中止します", ""},
      {C::CopyToFile, "ファイルにコピーします", ""},
      {C::EditAndSend, "選択した行を編集し送信する", ""},
      {C::SearchCondition, "検索条件を設定します", ""},
      {C::AutoModeStart, "自動運転をスタート", "自動ﾓｰﾄﾞ開始 (F5)"},
      {C::Connect, "相手局に自動ｺﾈｸﾄ", "自動ｺﾈｸﾄ"},
      {C::MailSend, "ﾒｰﾙの複数自動送信", "ﾒｰﾙ自動送信"},
      {C::ListRead, "ﾌﾞﾚﾃﾝﾘｽﾄの自動読み出し", "ﾘｽﾄ自動読出"},
      {C::MailRead, "ﾒｰﾙの複数自動読み出し", "ﾒｰﾙ自動読出"},
      {C::AutoModeEnd, "自動ﾓｰﾄﾞの終了／中止", "自動ﾓｰﾄﾞ終了 (Shift+F5)"},
      {C::AutoModeSettings, "自動ﾓｰﾄﾞのＬＲＳの有無の設定", "自動ﾓｰﾄﾞ設定"},
      {C::StationSettings, "自動ｺﾈｸﾄの相手局／条件の設定", ""},
      {C::SendMailSelect, "自動送信ﾒｰﾙの設定", "自動送信設定"},
      {C::FieldSettings, "読み出しﾌｨｰﾙﾄﾞの設定", ""},
      {C::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定", ""},
      {C::FileNameSettings, "自動運転時使われるﾌｧｲﾙ名の設定", ""},
      {C::ComPortSettings, "COMﾎﾟｰﾄの設定", ""},
      {C::MailCreate, "メールの作成のためエディター起動", "ﾒｰﾙ作成"},
      {C::MailView, "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します", "ﾒｰﾙ表示"},
      {C::ListView, "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集", "ﾘｽﾄ表示"},
      {C::EditIni, "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集", ""},
      {C::EditorSettings, "ｴﾃﾞｨﾀｰの設定", ""},
      {C::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示", "ﾍﾙﾌﾟの表示"},
  };
  for (const Texts& t : expected) {
    QAction* a = f.frame->Action(t.id);
    ASSERT_NE(a, nullptr) << N(t.id);
    EXPECT_EQ(a->statusTip(), QString::fromUtf8(t.prompt)) << N(t.id);
    if (*t.tip) {
      EXPECT_EQ(a->toolTip(), QString::fromUtf8(t.tip)) << N(t.id);
    }
  }
  // No prompt of their own: the message pane keeps its idle text.
  for (Command id : {C::UploadStop, C::SearchUp, C::SearchDown})
    EXPECT_TRUE(f.frame->Action(id)->statusTip().isEmpty()) << N(id);
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

  f.session->Autopilot().State().AutoIdle = true;
  EXPECT_TRUE(enabled(Command::AutoModeStart));
  f.session->Autopilot().State().AutoIdle = false;
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
