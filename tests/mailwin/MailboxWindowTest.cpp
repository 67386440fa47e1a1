// The mailbox window over a store a simulator run filled: the folders and
// their counts, the list, a Japanese message in the reader; writing,
// queueing and the run posting the mail file's bytes; replies; read marks
// taken by the next run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <cstdlib>

#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "mailbox/Reply.h"
#include "mailwin/ComposeDialog.h"
#include "mailwin/MailboxWindow.h"
#include "support/StationRig.h"
#include "text/Cp932.h"
#include "text/IniPath.h"
#include "text/Messages.h"

namespace nami {
namespace {

using Folder = CMailboxWindow::Folder;

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_mailwin";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const bool screenshot = info && std::string(info->name()).find("Screenshot") != std::string::npos;
    if (screenshot && std::getenv("NAMI_ARTIFACTS") && std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

QFont ReaderFont() {
  QFont f(QStringLiteral("IPAGothic"));
  f.setPixelSize(14);
  f.setFixedPitch(true);
  f.setStyleHint(QFont::TypeWriter);
  return f;
}

std::string Profile(const CSettings& s) { return Cp932ToUtf8(s.ProfileSection()); }

// A whole auto-mode run of the demo's BBS; the store then holds what it read.
void RunOnce(test::StationRig& rig) {
  rig.settings.SetMyCall("QZ1XYZ");  // as the demo's TNC reports it
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle());
  ASSERT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  rig.RunFor(3000);  // the log-off
}

// The row of message `number` in the window's list, -1 when not listed.
int RowOf(CMailboxWindow& w, long long number) {
  for (int r = 0; r < w.Model()->rowCount(); ++r)
    if (w.Model()->RowAt(r)->number == number) return r;
  return -1;
}

void Select(CMailboxWindow& w, int row) {
  w.List()->setCurrentIndex(w.Model()->index(row, 0));
  QApplication::processEvents();
}

QString FolderText(CMailboxWindow& w, Folder f) { return w.Folders()->item(static_cast<int>(f))->text(); }

TEST(MailboxWindow, ScreenshotAfterASimulatorRunShowsFoldersTheListAndAJapaneseMessage) {
  App();
  test::StationRig rig;
  RunOnce(rig);
  CMailboxWindow w(rig.settings, ReaderFont());
  w.resize(1200, 760);
  w.show();
  QApplication::processEvents();

  // The run read 1221 .. 1230 but 1227 (another station's personal mail,
  // which the BBS does not list); one of them (1224) is to the station.
  EXPECT_EQ(FolderText(w, Folder::Inbox), QStringLiteral("受信 (9/9)"));
  EXPECT_EQ(FolderText(w, Folder::ToMe), QStringLiteral("自局宛 (1/1)"));
  EXPECT_TRUE(w.Folders()->item(0)->font().bold());
  EXPECT_EQ(w.Model()->rowCount(), 9);
  EXPECT_EQ(w.Model()->RowAt(0)->number, 1230) << "the newest first";
  EXPECT_TRUE(w.Model()->data(w.Model()->index(0, 6), Qt::FontRole).value<QFont>().bold()) << "unread in bold";

  const int row = RowOf(w, 1230);
  ASSERT_GE(row, 0);
  Select(w, row);
  const QString text = w.Reader()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("年末年始の運用について"))) << text.toStdString();
  EXPECT_EQ(w.Reader()->font().family(), ReaderFont().family()) << "the terminal's font";
  EXPECT_GE(w.Reader()->viewport()->width(), 80 * QFontMetrics(ReaderFont()).horizontalAdvance(u'M'))
      << "80 columns";
  EXPECT_EQ(FolderText(w, Folder::Inbox), QStringLiteral("受信 (8/9)")) << "opened is read";
  EXPECT_FALSE(w.Model()->data(w.Model()->index(row, 6), Qt::FontRole).value<QFont>().bold());

  // Searching: the hits of the whole mailbox, highlighted in the reader.
  w.Search()->setText(QStringLiteral("9600"));
  w.RunSearch();
  EXPECT_EQ(w.Model()->rowCount(), 1) << "1221 holds 9600 (1227 is another station's personal mail)";
  Select(w, 0);
  EXPECT_EQ(w.Model()->RowAt(0)->number, 1221);
  EXPECT_FALSE(w.Reader()->extraSelections().isEmpty());
  EXPECT_EQ(w.Reader()->extraSelections().first().cursor.selectedText(), QStringLiteral("9600"));
  w.Search()->clear();
  w.RunSearch();
  Select(w, RowOf(w, 1230));

  const QImage shot = w.grab().toImage();
  ASSERT_FALSE(shot.isNull());
  const char* artifacts = std::getenv("NAMI_ARTIFACTS");
  if (!artifacts) GTEST_SKIP() << "NAMI_ARTIFACTS not set: no screenshot saved";
  QDir().mkpath(QString::fromLocal8Bit(artifacts));
  const QString file = QString::fromLocal8Bit(artifacts) + QStringLiteral("/mailbox-window.png");
  EXPECT_TRUE(shot.save(file, "PNG")) << file.toStdString();
}

// N, the form filled, 送信予約: the first free sendN holds the mail file; the
// next run posts exactly its bytes, and the message moves to 送信済み.
TEST(MailboxWindow, AQueuedMessageIsPostedAsItsFileByTheNextRun) {
  App();
  test::StationRig rig;
  rig.settings.Set(keys::Send[0], rig.dir.File("taken.txt"));  // send1 is someone else's
  test::WriteFile(rig.dir.File("taken.txt"), "SP QZ2KLM\r\nfirst\r\nhello\r\n");
  CMailboxWindow w(rig.settings, ReaderFont());
  w.NewMessage();
  CComposeDialog* form = w.Compose();
  ASSERT_NE(form, nullptr);
  form->To()->setText(QStringLiteral("QZ2KLM"));
  form->Subject()->setText(QStringLiteral("交信のお礼"));
  form->Body()->setPlainText(QStringLiteral("昨夜はありがとうございました。\n73"));
  form->QueueButton()->click();
  ASSERT_EQ(w.Compose(), nullptr) << form->Status()->text().toStdString();

  const std::string file = rig.settings.Raw(keys::Send[1]);
  ASSERT_FALSE(file.empty()) << "send2, the first free slot";
  const std::string bytes = test::ReadFile(IniPathToFs(file));
  EXPECT_EQ(bytes, test::Sjis("SP QZ2KLM\r\n交信のお礼\r\n昨夜はありがとうございました。\r\n73\r\n"));
  w.ShowFolder(Folder::Queued);
  EXPECT_EQ(w.Model()->rowCount(), 1);

  RunOnce(rig);
  std::string onAir = bytes;
  for (std::size_t p; (p = onAir.find("\r\n")) != std::string::npos;) onAir.replace(p, 2, "\r");
  EXPECT_NE(rig.port->sent.find(onAir + "\x1A\r"), std::string::npos) << "the file's bytes, then Ctrl-Z";
  EXPECT_TRUE(rig.settings.Raw(keys::Send[1]).empty());
  w.Poll();
  EXPECT_EQ(w.Counts().queued, 0);
  EXPECT_EQ(w.Counts().sent, 1);
}

// A refusal names what to change and queues nothing.
TEST(MailboxWindow, QueueingRefusesFullSlotsAndCharactersWithoutACp932Form) {
  App();
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  CMailboxWindow w(settings, ReaderFont());
  w.NewMessage();
  CComposeDialog* form = w.Compose();
  form->To()->setText(QStringLiteral("QZ2KLM"));
  form->Subject()->setText(QStringLiteral("test"));
  form->Body()->setPlainText(QStringLiteral("first line\nsmile \U0001F600 here"));
  form->QueueButton()->click();
  ASSERT_EQ(w.Compose(), form);
  EXPECT_EQ(form->Status()->text(), QStringLiteral("本文 の 2 行 7 桁目の文字 「\U0001F600」 (U+1F600) は Shift-JIS (CP932) にないため送れません。"));
  EXPECT_TRUE(settings.Raw(keys::Send[0]).empty());

  form->Body()->setPlainText(QStringLiteral("fine"));
  for (const KeySpec& key : keys::Send) settings.Set(key, dir.File("x.txt"));
  form->QueueButton()->click();
  EXPECT_EQ(form->Status()->text().toStdString(), msg::SlotsFull);
  form->To()->setText(QStringLiteral("HELLO"));
  form->QueueButton()->click();
  EXPECT_TRUE(form->Status()->text().contains(QStringLiteral("コールサインではありません")));
}

// In a folder with a Japanese name: a queued message is withdrawn back to
// 下書き (its sendN emptied, its file gone) and queued again as changed.
TEST(MailboxWindow, AQueuedMessageInAJapaneseFolderIsWithdrawnAndChanged) {
  App();
  test::TempDir dir;
  const std::string folder = dir.File("無線局の設定");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  CSettings settings(folder + "/NAMI.INI");
  settings.SetProfileSection(CSettings::UntitledTitle());
  CMailboxWindow w(settings, ReaderFont());
  w.NewMessage();
  w.Compose()->To()->setText(QStringLiteral("qz2klm"));
  w.Compose()->Subject()->setText(QStringLiteral("移動運用"));
  w.Compose()->Body()->setPlainText(QStringLiteral("土曜日に移動します。"));
  w.Compose()->QueueButton()->click();
  ASSERT_EQ(w.Compose(), nullptr);
  const std::string first = IniPathToFs(settings.Raw(keys::Send[0]));
  ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(first))) << first;
  EXPECT_EQ(first.rfind(folder + "/outbox/", 0), 0u);

  w.ShowFolder(Folder::Queued);
  ASSERT_EQ(w.Model()->rowCount(), 1);
  Select(w, 0);
  w.Withdraw();
  EXPECT_TRUE(settings.Raw(keys::Send[0]).empty());
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(first)));
  EXPECT_EQ(w.Counts().queued, 0);
  EXPECT_EQ(w.Counts().drafts, 1);

  w.ShowFolder(Folder::Drafts);
  Select(w, 0);
  w.OpenSelected();
  ASSERT_NE(w.Compose(), nullptr);
  EXPECT_EQ(w.Compose()->To()->text(), QStringLiteral("QZ2KLM"));
  w.Compose()->Body()->setPlainText(QStringLiteral("日曜日に変更します。"));
  w.Compose()->QueueButton()->click();
  ASSERT_EQ(w.Compose(), nullptr);
  EXPECT_EQ(test::ReadFile(IniPathToFs(settings.Raw(keys::Send[0]))),
            test::Sjis("SP QZ2KLM\r\n移動運用\r\n日曜日に変更します。\r\n"));
  EXPECT_EQ(w.Counts().queued, 1);
  EXPECT_EQ(w.Counts().drafts, 0);
}

// R on a message: to its sender, "Re: " once, the text quoted with "> ".
TEST(MailboxWindow, ReplyGoesToTheSenderWithReOnceAndTheTextQuoted) {
  App();
  test::StationRig rig;
  RunOnce(rig);
  CMailboxWindow w(rig.settings, ReaderFont());
  Select(w, RowOf(w, 1224));  // "BBSへの登録完了" from QZ1ABC
  w.Reply();
  CComposeDialog* form = w.Compose();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->To()->text(), QStringLiteral("QZ1ABC"));
  EXPECT_EQ(form->Subject()->text(), QStringLiteral("Re: BBSへの登録完了"));
  const QStringList quoted = form->Body()->toPlainText().split(u'\n').filter(QRegularExpression(QStringLiteral("^> ")));
  mailbox::SMessageRow m;
  bool found = false;
  w.Store().Find(Profile(rig.settings), 1224, m, found);
  ASSERT_TRUE(found);
  EXPECT_EQ(quoted.join(u'\n') + u'\n', QString::fromStdString(mailbox::QuoteBody(m.body)));
  EXPECT_GE(quoted.size(), 2);
  form->reject();

  const std::pair<const char*, const char*> subjects[] = {
      {"Re: 先日の交信", "Re: 先日の交信"}, {"RE: x", "RE: x"}, {"hello", "Re: hello"}, {"", "Re: "}};
  for (const auto& [in, out] : subjects) EXPECT_EQ(mailbox::ReplySubject(in), out) << in;
}

// A marked list entry is read by the next run after the new mail, and a
// marked number the BBS no longer has is reported; both are unmarked and
// "LastMailNo" is what the list made it.
TEST(MailboxWindow, AMarkedBulletinIsReadByTheNextRun) {
  App();
  test::StationRig rig;
  RunOnce(rig);
  const std::string last = rig.Setting(keys::LastMailNo);
  CMailboxWindow w(rig.settings, ReaderFont());
  w.ShowFolder(Folder::List);
  const int row = RowOf(w, 1225);
  ASSERT_GE(row, 0);
  w.List()->setCurrentIndex(w.Model()->index(row, 0));
  w.SwitchMark();
  EXPECT_TRUE(w.Model()->RowAt(row)->marked);
  ASSERT_FALSE(w.Store().SetMarked(Profile(rig.settings), 1206, true));  // read before this store was made
  ASSERT_FALSE(w.Store().SetMarked(Profile(rig.settings), 9999, true));  // never on the BBS
  std::vector<long long> marked;
  w.Store().MarkedNumbers(Profile(rig.settings), marked);
  EXPECT_EQ(marked, (std::vector<long long>{1206, 1225, 9999}));

  std::vector<std::string> notes;
  rig.station.Activity().Listen([&notes](const ActivityEntry& e) { notes.push_back(e.text); });
  rig.port->TakeSent();
  RunOnce(rig);
  const std::string sent = rig.port->sent;
  const auto r1206 = sent.find("R 1206\r"), r1225 = sent.find("R 1225\r"), r9999 = sent.find("R 9999\r");
  EXPECT_NE(r1206, std::string::npos);
  EXPECT_NE(r1225, std::string::npos);
  EXPECT_NE(r9999, std::string::npos);
  EXPECT_LT(r1206, r1225);
  EXPECT_LT(r1225, r9999);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), last);
  w.Store().MarkedNumbers(Profile(rig.settings), marked);
  EXPECT_TRUE(marked.empty());
  EXPECT_EQ(std::count(notes.begin(), notes.end(), msg::Format(msg::MarkedMissing, {{"number", "9999"}})), 1);
  EXPECT_NE(test::ReadFile(rig.dir.File("mail.log")).find(test::Sjis("TNCのパラメーター設定について")), std::string::npos);
  std::int64_t id = 0;
  w.Store().MessageIdOf(Profile(rig.settings), 1206, id);
  EXPECT_NE(id, 0) << "the marked bulletin is in the mailbox";
  w.Store().MessageIdOf(Profile(rig.settings), 9999, id);
  EXPECT_EQ(id, 0) << "the BBS's not-found answer is no message";
}

}  // namespace
}  // namespace nami

namespace nami {
namespace {

// The window and another nami process on one store: a headless demo run in
// its own process fills the mailbox while the window is open, and the
// window shows the new messages by itself.
TEST(MailboxWindow, FollowsWhatAnotherProcessesRunAdds) {
  App();
  test::TempDir runtime;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.Path()));
  // The demo's settings file and mailbox, where the demo run keeps them.
  const std::string ini = runtime.Path() + "/nami-demo/NAMI.INI";
  QDir().mkpath(QString::fromStdString(runtime.Path() + "/nami-demo"));
  CSettings settings(ini);
  settings.SetProfileSection(CSettings::UntitledTitle());
  CMailboxWindow w(settings, ReaderFont());
  w.show();
  EXPECT_EQ(w.Counts().inbox, 0);

  QProcess run;
  run.setProcessEnvironment(env);
  run.start(QStringLiteral(NAMI_BINARY_DIR "/nami"), {QStringLiteral("--demo"), QStringLiteral("--headless")});
  ASSERT_TRUE(run.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (run.state() != QProcess::NotRunning && t.elapsed() < 240000) {
    run.waitForFinished(100);
    QApplication::processEvents();  // the window polls meanwhile
  }
  ASSERT_EQ(run.exitStatus(), QProcess::NormalExit) << run.readAllStandardError().toStdString();
  EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  // The run's last message may land after the window's last poll during
  // the run: the window catches up within a few polls.
  for (int i = 0; i < 20 && w.Counts().inbox < 9; ++i) {
    QTest::qWait(CMailboxWindow::kPollMs);
  }
  EXPECT_EQ(w.Counts().inbox, 9);
  EXPECT_EQ(w.Model()->rowCount(), 9) << "the list follows without being asked";
}

}  // namespace
}  // namespace nami
