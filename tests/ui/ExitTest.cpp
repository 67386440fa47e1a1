// Leaving nami loses nothing: the exit question, an unreadable settings file
// through a whole window session, and a termination signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStatusBar>
#include <QThread>

#include "UiTestSupport.h"
#include "support/FileFaults.h"
#include "document/DocumentFile.h"
#include "link/LinkPort.h"

namespace nami {
namespace {

using test::FrameFixture;
using Choice = CMainFrame::ExitChoice;

TEST(Exit, CancelOrAnUnsavedSaveKeepsNamiRunning) {
  FrameFixture f;
  f.port->Deliver("received line\n");
  f.frame->Heartbeat().RunTick();
  f.frame->Heartbeat().Start();
  struct Step {
    Choice answer;
    QString fileDialog;  // "" = the save dialog is cancelled
    bool closes;
  };
  const std::string saved = f.dir.File("kept.nmi");
  const Step steps[] = {
      {Choice::Cancel, {}, false}, {Choice::Save, {}, false}, {Choice::Save, QString::fromStdString(saved), true}};
  int asked = 0;
  for (const Step& s : steps) {
    f.exitChoice = s.answer;
    f.nextFile = s.fileDialog;
    EXPECT_EQ(f.frame->close(), s.closes);
    EXPECT_EQ(f.exitQuestions.size(), ++asked);
    EXPECT_EQ(f.port->open, !s.closes) << "the port stays open while nami runs";
    EXPECT_EQ(f.frame->Heartbeat().Active(), !s.closes);
  }
  CLineStore back;
  FileFault error;
  ASSERT_TRUE(LoadDocument(back, saved, error)) << error;
  EXPECT_EQ(back.LastLine(), "received line");
}

TEST(Exit, DiscardClosesWithoutWritingAndNothingReceivedIsNotAsked) {
  FrameFixture f;
  f.port->Deliver("line\n");
  f.frame->Heartbeat().RunTick();
  f.exitChoice = Choice::Discard;
  EXPECT_TRUE(f.frame->close());
  EXPECT_FALSE(f.port->open);
  EXPECT_EQ(QDir(QString::fromStdString(f.dir.Path())).entryList({QStringLiteral("*.nmi")}).size(), 0);

  FrameFixture g;
  EXPECT_TRUE(g.frame->close());
  EXPECT_TRUE(g.exitQuestions.isEmpty());
}

// A NAMI.INI that cannot be read is said once, and survives a window session
// and the save at a termination signal byte for byte.
TEST(Exit, AnUnreadableSettingsFileIsUntouchedByAWindowSession) {
  const std::string ini = "[Window]\r\nx=5\r\nwidth=640\r\n[" + test::Sjis("無題") + "]\r\ncall=JA1ZZZ\r\n";
  test::FaultyFileOps ops;
  ops.openErrno = EACCES;
  FrameFixture f(ini, ops);
  const std::string path = f.settings->Path();
  for (int i = 0; i < 5; ++i) {
    f.port->Deliver("line " + std::to_string(i) + "\n");
    f.frame->Heartbeat().RunTick();
  }
  ASSERT_EQ(f.messages.size(), 1) << "said once";
  EXPECT_TRUE(f.messages[0].contains(QString::fromStdString(path)));
  EXPECT_TRUE(f.messages[0].contains(QStringLiteral("Permission denied")));

  FileFault error;
  const std::string dated = f.session->SaveForTermination(f.dir.Path(), error);
  EXPECT_EQ(dated.rfind(f.dir.File("nami-"), 0), 0u) << dated;
  EXPECT_TRUE(test::FileExists(dated));
  f.frame->resize(900, 700);
  f.exitChoice = Choice::Discard;
  EXPECT_TRUE(f.frame->close());
  EXPECT_EQ(test::ReadFile(path), ini);
}

// A far side whose connect succeeds and whose disconnect is never answered.
class SilentFar final : public IFarSide {
 public:
  void SetEvents(IFarSideEvents* e) override { events_ = e; }
  bool SetMyCall(const std::string&) override { return true; }
  void Connect(const std::string& call, const std::vector<std::string>&) override { peer_ = call; }
  void Disconnect() override { ++disconnects; }
  bool SendData(std::string_view) override { return true; }
  std::size_t OutstandingBytes() const override { return 0; }
  void Poll(std::int64_t now) override {
    if (!peer_.empty() && events_) events_->OnConnected(now, std::exchange(peer_, {}));
  }
  void Reset() override {}
  void Close() override {}
  std::string SignOn(const std::string&) const override { return "silent"; }
  int disconnects = 0;

 private:
  IFarSideEvents* events_ = nullptr;
  std::string peer_;
};

// Closing while the far side does not answer the disconnect: the window
// keeps handling events (a timer goes on firing), says it is disconnecting,
// and closes after FRACK x RETRY; a second close, or the shutdown a
// termination signal ends with, does not wait.
TEST(Exit, TheWindowStaysResponsiveWhileTheLinkIsReleased) {
  enum class Then { Wait, CloseAgain, Shutdown };
  for (const Then then : {Then::Wait, Then::CloseAgain, Then::Shutdown}) {
    SCOPED_TRACE(static_cast<int>(then));
    FrameFixture f;
    auto owned = std::make_unique<SilentFar>();
    SilentFar& far = *owned;
    auto port = std::make_unique<CTnc2Port>(f.clock, std::move(owned), STnc2Options{});
    CTnc2Port& tnc = *port;
    ASSERT_TRUE(tnc.Open(""));
    tnc.SendText("FRACK 1\rRETRY 1\rC QZ1ABC\r");
    tnc.Engine().Service();
    ASSERT_TRUE(tnc.Engine().LinkActive());
    f.session->SetPort(std::move(port));
    f.frame->show();

    int fired = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&fired] { ++fired; });
    other.start(50);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(f.frame->close()) << "the close waits for the far side";
    EXPECT_EQ(far.disconnects, 1);
    EXPECT_TRUE(f.frame->isVisible());
    EXPECT_TRUE(tnc.IsOpen());
    EXPECT_EQ(f.frame->statusBar()->currentMessage(), QStringLiteral("切断中…"));
    FrameFixture::Pump(200);
    EXPECT_EQ(f.frame->statusBar()->currentMessage(), QStringLiteral("切断中…")) << "nothing overwrote it";
    EXPECT_FALSE(f.frame->Action(Command::FileOpen)->isEnabled());
    if (then == Then::CloseAgain) {
      EXPECT_TRUE(f.frame->close());
    }
    if (then == Then::Shutdown) {
      f.frame->Shutdown();
      EXPECT_FALSE(tnc.IsOpen());
      f.frame->close();
    }
    while (f.frame->isVisible() && t.elapsed() < 5000) FrameFixture::Pump(20);
    EXPECT_FALSE(f.frame->isVisible());
    EXPECT_FALSE(tnc.IsOpen());
    if (then == Then::Wait) {
      EXPECT_GE(t.elapsed(), 950) << "FRACK 1 x RETRY 1";
      EXPECT_LT(t.elapsed(), 3000);
      EXPECT_GE(fired, 10) << "the event loop ran during the wait";
    } else {
      EXPECT_LT(t.elapsed(), 800);
    }
  }
}

// The real program: SIGTERM saves an untitled document's text beside
// NAMI.INI and says where; an unreadable NAMI.INI stays as it was.
TEST(Exit, TerminationSignalKeepsTheTextAndTheUnreadableSettingsFile) {
  test::TempDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  const std::string ini = dir.File("NAMI.INI");
  const std::string text = "[Window]\r\nx=7\r\n";
  test::WriteFile(ini, text);
  ::chmod(ini.c_str(), 0);
  QStringList args{QStringLiteral(NAMI_BINARY_DIR "/nami"), QStringLiteral("--ini"), QString::fromStdString(ini)};
  QString program = args.takeFirst();
  if (::geteuid() == 0) {
    // root reads any file: run as nobody, for whom the file is unreadable.
    args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                       QStringLiteral("--clear-groups"), program} +
           args;
    program = QStringLiteral("setpriv");
  }
  QProcess nami;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("HOME"), QString::fromStdString(dir.Path()));
  env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  nami.setProcessEnvironment(env);
  nami.start(program, args);
  ASSERT_TRUE(nami.waitForStarted(5000));
  QThread::msleep(1500);
  ::kill(static_cast<pid_t>(nami.processId()), SIGTERM);
  ASSERT_TRUE(nami.waitForFinished(10000));
  EXPECT_EQ(nami.exitCode(), 0) << nami.readAllStandardError().toStdString();
  ::chmod(ini.c_str(), 0600);
  EXPECT_EQ(test::ReadFile(ini), text);
}

// The real program with a document open: each termination signal (SIGHUP
// too: the session or terminal that started it has gone) saves the
// document to its file, says so, and ends with 0.
TEST(Exit, EachTerminationSignalSavesTheDocumentAndQuits) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signal));
    test::TempDir dir;
    const std::string ini = dir.File("NAMI.INI");
    test::WriteFile(ini, "[Window]\r\nx=7\r\n");
    const std::string document = dir.File("東京局.nmi");
    test::WriteFile(document, test::ReadFile(NAMI_SOURCE_DIR "/tests/data/cfb-document.nmi"));
    const timespec old[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01
    ASSERT_EQ(::utimensat(AT_FDCWD, document.c_str(), old, 0), 0);
    QProcess nami;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(dir.Path()));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    nami.setProcessEnvironment(env);
    nami.start(QStringLiteral(NAMI_BINARY_DIR "/nami"),
               {QStringLiteral("--ini"), QString::fromStdString(ini), QString::fromStdString(document)});
    ASSERT_TRUE(nami.waitForStarted(5000));
    QThread::msleep(1500);
    ::kill(static_cast<pid_t>(nami.processId()), signal);
    ASSERT_TRUE(nami.waitForFinished(10000));
    const std::string err = nami.readAllStandardError().toStdString();
    EXPECT_EQ(nami.exitStatus(), QProcess::NormalExit) << err;
    EXPECT_EQ(nami.exitCode(), 0) << err;
    EXPECT_NE(err.find("received text saved to " + document), std::string::npos) << err;
    struct stat st {};
    ASSERT_EQ(::stat(document.c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, old[0].tv_sec) << "written again";
    CLineStore store;
    FileFault fault;
    EXPECT_TRUE(LoadDocument(store, document, fault)) << DocumentFaultText(fault);
  }
}

}  // namespace
}  // namespace nami
