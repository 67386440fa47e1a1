// The real program started with --automation on a pseudo-terminal, driven
// over the session bus by gdbus and dbus-send as a script would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <functional>
#include <memory>
#include <string>

#include "BusTestSupport.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

class NamiProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::EnsureCoreApplication(); }

  void SetUp() override {
    if (!test::SessionBusError().empty()) GTEST_SKIP() << test::SessionBusError();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Not inherited by nami or the bus clients, so closing it pulls the device.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    const std::string slave = ::ptsname(master_);

    ini_ = dir_.File("NAMI.INI");
    test::WriteFile(ini_, test::Sjis("[無題]\r\ncomstatus=COM2:9600,n,8,1,n\r\n[Devices]\r\nCOM2=") + slave + "\r\n");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    nami_.setProcessEnvironment(env);
    nami_.setWorkingDirectory(QString::fromStdString(dir_.Path()));
    nami_.setProcessChannelMode(QProcess::SeparateChannels);
    nami_.start(QStringLiteral(NAMI_BINARY_DIR "/nami"),
                {QStringLiteral("--automation"), QStringLiteral("--ini"), QString::fromStdString(ini_)});
    ASSERT_TRUE(nami_.waitForStarted(5000));
    QElapsedTimer t;
    t.start();
    while (!nami_.canReadLine() && nami_.state() == QProcess::Running && t.elapsed() < 10000)
      nami_.waitForReadyRead(200);
    busName_ = QString::fromUtf8(nami_.readLine()).trimmed();
    ASSERT_EQ(busName_, QStringLiteral("Nami.Document.Instance_%1").arg(nami_.processId()))
        << nami_.readAllStandardError().toStdString();
  }

  void TearDown() override {
    if (nami_.state() != QProcess::NotRunning) {
      nami_.kill();
      nami_.waitForFinished(5000);
    }
    if (master_ >= 0) ::close(master_);
  }

  QStringList GdbusArgs(const QString& method, const QStringList& args) const {
    return QStringList{QStringLiteral("call"),
                       QStringLiteral("--session"),
                       QStringLiteral("--dest"),
                       busName_,
                       QStringLiteral("--object-path"),
                       QStringLiteral("/Document"),
                       QStringLiteral("--method"),
                       QStringLiteral("Nami.Document.") + method,
                       QStringLiteral("--")} +
           args;
  }
  static QString RunClient(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
      p.kill();
      p.waitForFinished(1000);
      return QStringLiteral("<timed out>");
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed() + QString::fromUtf8(p.readAllStandardError());
  }
  QString Gdbus(const QString& method, const QStringList& args) {
    return RunClient(QStringLiteral("gdbus"), GdbusArgs(method, args));
  }
  // GetLine through dbus-send, which prints the UTF-8 result untouched.
  QString GetLine(int n) {
    const QString out = RunClient(
        QStringLiteral("dbus-send"),
        {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=") + busName_,
         QStringLiteral("/Document"), QStringLiteral("Nami.Document.GetLine"), QStringLiteral("int16:%1").arg(n)});
    const qsizetype at = out.indexOf(QLatin1String("string \""));
    if (at < 0) return QStringLiteral("<no reply: %1>").arg(out);
    return out.mid(at + 8).section(QLatin1Char('"'), 0, -2);
  }
  bool WaitForNewestLine(const QString& line, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
      if (GetLine(1) == line) return true;
      QThread::msleep(30);
    }
    return false;
  }

  void WriteMaster(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads from the master until `count` bytes came or `ms` passed without any.
  std::string ReadMaster(std::size_t count, int ms = 2000) {
    std::string got;
    char buf[4096];
    while (got.size() < count) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, ms) != 1) break;
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

  test::TempDir dir_;
  std::string ini_;
  int master_ = -1;
  QProcess nami_;
  QString busName_;
};

TEST_F(NamiProcessTest, SendOutPutsTheTextAndCrOnTheLine) {
  EXPECT_EQ(Gdbus(QStringLiteral("SendOut"), {QStringLiteral("B")}), QStringLiteral("(true,)"));
  EXPECT_EQ(ReadMaster(2), "B\r");
  EXPECT_EQ(ReadMaster(1, 200), "") << "nothing else goes out, no echo";

  EXPECT_EQ(Gdbus(QStringLiteral("SendOut"), {QStringLiteral("漢字テスト")}), QStringLiteral("(true,)"));
  const std::string kanji = test::Sjis("漢字テスト") + "\r";
  EXPECT_EQ(ReadMaster(kanji.size()), kanji);
}

// A long text over a line that does not keep up (nobody reads the other end
// for well over a second): none of it is dropped, and the answer comes once
// the last byte is on the line.
TEST_F(NamiProcessTest, LongSendOutLosesNothingWhenThePortFallsBehind) {
  const std::string text(119999, 'x');
  QProcess call;
  call.start(QStringLiteral("gdbus"), GdbusArgs(QStringLiteral("SendOut"), {QString::fromStdString(text)}));
  ASSERT_TRUE(call.waitForStarted(5000));
  EXPECT_FALSE(call.waitForFinished(2500)) << "answered before the text was on the line";
  const std::string got = ReadMaster(text.size() + 1, 20000);
  EXPECT_EQ(got.size(), text.size() + 1);
  EXPECT_TRUE(got == text + "\r") << "every byte, in order";
  ASSERT_TRUE(call.waitForFinished(5000));
  EXPECT_EQ(QString::fromUtf8(call.readAllStandardOutput()).trimmed(), QStringLiteral("(true,)"));
}

TEST_F(NamiProcessTest, GetLineReadsCompletedLinesNewestFirstAndNeverTheUnfinishedOne) {
  EXPECT_EQ(GetLine(1), QString());
  WriteMaster("alpha\r\nbeta\r\ngamma\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("gamma")));
  EXPECT_EQ(GetLine(2), QStringLiteral("beta"));
  EXPECT_EQ(GetLine(3), QStringLiteral("alpha"));
  EXPECT_EQ(GetLine(4), QString());
  EXPECT_EQ(GetLine(0), QString());
  EXPECT_EQ(GetLine(-1), QString());

  WriteMaster("still arriv");
  QThread::msleep(250);  // several receive ticks
  EXPECT_EQ(GetLine(1), QStringLiteral("gamma"));

  WriteMaster("ing\r\n" + test::Sjis("ｱﾏﾁｭｱ無線の行") + "\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("ｱﾏﾁｭｱ無線の行")));
  EXPECT_EQ(GetLine(2), QStringLiteral("still arriving"));
}

TEST_F(NamiProcessTest, DownloadCapturesTheLinesReceivedUntilItStops) {
  WriteMaster("before\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("before")));
  const std::string capture = dir_.File("capture.txt");
  EXPECT_EQ(Gdbus(QStringLiteral("DownloadFile"), {QString::fromStdString(capture)}), QStringLiteral("(true,)"));
  WriteMaster("one\r\n" + test::Sjis("二行目") + "\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("二行目")));
  EXPECT_EQ(Gdbus(QStringLiteral("DownloadStop"), {QStringLiteral("")}), QStringLiteral("()"));
  WriteMaster("after\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("after")));
  EXPECT_EQ(test::ReadFile(capture), "one\r\n" + test::Sjis("二行目") + "\r\n");
}

TEST_F(NamiProcessTest, PathsInAJapaneseFolderReachTheFileSystemUnchanged) {
  const std::string folder = dir_.File("ドキュメント");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string capture = folder + "/受信.DWN";
  const std::string mail = folder + "/送信メール.UPL";
  test::WriteFile(mail, test::Sjis("東京から\r\n"));

  EXPECT_EQ(Gdbus(QStringLiteral("DownloadFile"), {QString::fromStdString(capture)}), QStringLiteral("(true,)"));
  WriteMaster(test::Sjis("江東です") + "\r\n");
  ASSERT_TRUE(WaitForNewestLine(QStringLiteral("江東です")));
  EXPECT_EQ(Gdbus(QStringLiteral("DownloadStop"), {QStringLiteral("")}), QStringLiteral("()"));
  EXPECT_EQ(test::ReadFile(capture), test::Sjis("江東です") + "\r\n");

  EXPECT_EQ(Gdbus(QStringLiteral("UploadFile"), {QString::fromStdString(mail)}), QStringLiteral("(true,)"));
  EXPECT_EQ(ReadMaster(9), test::Sjis("東京から") + "\r");
}

// A named pipe is refused over D-Bus with what it is, never with a reason
// left behind by an unrelated call; /dev/null takes a capture.
TEST_F(NamiProcessTest, SpecialFilesGetTheirRealReasonOrAreTaken) {
  const std::string fifo = dir_.File("パイプ");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* method;
    std::string path;
    const char* answer;  // part of gdbus's output
  } cases[] = {
      {"UploadFile", fifo, ": is a named pipe (FIFO), not a file"},
      {"DownloadFile", fifo, "(is a named pipe (FIFO), not a file)"},
      {"UploadFile", "/dev/zero", ": is a device, not a file"},
      {"DownloadFile", "/dev/null", "(true,)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const QString answer = Gdbus(QString::fromLatin1(c.method), {QString::fromStdString(c.path)});
    EXPECT_TRUE(answer.contains(QString::fromUtf8(c.answer))) << answer.toStdString();
    EXPECT_FALSE(answer.contains(QStringLiteral("Inappropriate"))) << answer.toStdString();
    Gdbus(QStringLiteral("DownloadStop"), {QStringLiteral("")});
  }
  EXPECT_EQ(ReadMaster(1, 200), "") << "nothing went out";
}

TEST_F(NamiProcessTest, UploadAnswersOnceEveryByteIsOnTheLine) {
  // Larger than what the pseudo-terminal buffers, so the upload can end
  // only while the test reads.
  std::string file, expected;
  for (int i = 0; i < 6000; ++i) {
    const std::string line = "line " + std::to_string(i) + " of the upload test";
    file += line + "\n";
    expected += line + "\r";
  }
  const std::string path = dir_.File("upload.txt");
  test::WriteFile(path, file);

  QProcess call;
  call.start(QStringLiteral("gdbus"), GdbusArgs(QStringLiteral("UploadFile"), {QString::fromStdString(path)}));
  ASSERT_TRUE(call.waitForStarted(5000));
  EXPECT_FALSE(call.waitForFinished(500)) << "the reply waits for the end of the upload";

  const std::string got = ReadMaster(expected.size(), 5000);
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "every byte, in order";
  ASSERT_TRUE(call.waitForFinished(5000));
  EXPECT_EQ(QString::fromUtf8(call.readAllStandardOutput()).trimmed(), QStringLiteral("(true,)"));

  // A file that cannot be opened: answered at once with the error and the
  // reason, nothing sent; with no window the message goes to the error stream.
  const QString refused = Gdbus(QStringLiteral("UploadFile"), {QString::fromStdString(dir_.File("missing.txt"))});
  EXPECT_TRUE(refused.contains(QStringLiteral("Nami.Error.Failed"))) << refused.toStdString();
  EXPECT_TRUE(refused.contains(QStringLiteral("missing.txt: No such file or directory"))) << refused.toStdString();
  EXPECT_EQ(ReadMaster(1, 200), "");
  nami_.setReadChannel(QProcess::StandardError);
  QByteArray err;
  for (int i = 0; i < 20 && !err.contains("ファイルが見つかりません"); ++i) {
    nami_.waitForReadyRead(100);
    err += nami_.readAllStandardError();
  }
  EXPECT_TRUE(err.contains("ファイルが見つかりません")) << err.toStdString();
}

TEST_F(NamiProcessTest, TerminatingDuringAnUploadAnswersTheCallerAndEndsAtOnce) {
  // With the window shown, so that quitting must not stop at its close (which
  // would ask where to save the document).
  EXPECT_EQ(Gdbus(QStringLiteral("ShowWindow"), {QStringLiteral("")}), QStringLiteral("()"));
  std::string file(200000, 'x');
  const std::string path = dir_.File("big.txt");
  test::WriteFile(path, file);
  QProcess call;
  call.start(QStringLiteral("gdbus"), GdbusArgs(QStringLiteral("UploadFile"), {QString::fromStdString(path)}));
  ASSERT_TRUE(call.waitForStarted(5000));
  EXPECT_FALSE(call.waitForFinished(300)) << "the pseudo-terminal is full; the upload waits";

  ::kill(static_cast<pid_t>(nami_.processId()), SIGTERM);
  ASSERT_TRUE(nami_.waitForFinished(3000));
  EXPECT_EQ(nami_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(nami_.exitCode(), 0);
  ASSERT_TRUE(call.waitForFinished(3000));
  EXPECT_EQ(QString::fromUtf8(call.readAllStandardOutput()).trimmed(), QStringLiteral("(true,)"));
}

// A device pulled during an upload ends it: the caller hears why, and the
// next upload is refused because the port is not open, not because the
// first one would still be running.
TEST_F(NamiProcessTest, UploadFailsWithTheReasonWhenThePortIsLostOrNotOpen) {
  const std::string path = dir_.File("big.txt");
  test::WriteFile(path, std::string(200000, 'x'));
  QProcess call;
  call.start(QStringLiteral("gdbus"), GdbusArgs(QStringLiteral("UploadFile"), {QString::fromStdString(path)}));
  ASSERT_TRUE(call.waitForStarted(5000));
  EXPECT_FALSE(call.waitForFinished(500)) << "the pseudo-terminal is full; the upload waits";

  ::close(master_);  // pulled
  master_ = -1;
  ASSERT_TRUE(call.waitForFinished(10000));
  const QString lost = QString::fromUtf8(call.readAllStandardOutput() + call.readAllStandardError());
  EXPECT_TRUE(lost.contains(QStringLiteral("Nami.Error.Failed"))) << lost.toStdString();
  EXPECT_TRUE(lost.contains(QStringLiteral("the port was lost"))) << lost.toStdString();

  const QString refused = Gdbus(QStringLiteral("UploadFile"), {QString::fromStdString(path)});
  EXPECT_TRUE(refused.contains(QStringLiteral("Nami.Error.Failed"))) << refused.toStdString();
  EXPECT_TRUE(refused.contains(QStringLiteral("the port is not open"))) << refused.toStdString();
  EXPECT_FALSE(refused.contains(QStringLiteral("already running"))) << refused.toStdString();
}

// The window-less instance ends once it has had no call for the idle time
// (here 2 s), which frees the serial port; a shown window keeps it running.
TEST_F(NamiProcessTest, AnIdleInstanceEndsAndFreesThePortUnlessItsWindowIsShown) {
  nami_.terminate();
  ASSERT_TRUE(nami_.waitForFinished(5000));
  const std::string slave = ::ptsname(master_);
  struct Case {
    const char* name;
    const char* call;  // made once, a second after the start
    bool ends;
  };
  const Case cases[] = {{"idle after a call", "SendOut", true}, {"window shown", "ShowWindow", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProcess idle;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("NAMI_AUTOMATION_IDLE"), QStringLiteral("2"));
    idle.setProcessEnvironment(env);
    idle.setWorkingDirectory(QString::fromStdString(dir_.Path()));
    idle.start(QStringLiteral(NAMI_BINARY_DIR "/nami"),
               {QStringLiteral("--automation"), QStringLiteral("--ini"), QString::fromStdString(ini_)});
    ASSERT_TRUE(idle.waitForReadyRead(10000));
    busName_ = QString::fromUtf8(idle.readLine()).trimmed();
    QThread::msleep(1000);
    Gdbus(QString::fromUtf8(c.call), {QStringLiteral("''")});
    QElapsedTimer t;
    t.start();
    const bool ended = idle.waitForFinished(5000);
    EXPECT_EQ(ended, c.ends);
    if (ended) {
      EXPECT_GE(t.elapsed(), 1500) << "the call restarts the idle time";
      EXPECT_EQ(idle.exitCode(), 0);
      EXPECT_TRUE(idle.readAllStandardError().contains("no automation call for 2 s"));
      // The port opens again: nobody holds its lock.
      const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      ASSERT_GE(fd, 0);
      EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
      ::close(fd);
    } else {
      idle.terminate();
      idle.waitForFinished(5000);
    }
  }
}

// Without a session bus nothing could reach a window-less instance.
TEST(NamiProcess, WithoutASessionBusTheAutomationInstanceEndsAtOnce) {
  test::EnsureCoreApplication();
  test::TempDir dir;
  QProcess nami;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
  nami.setProcessEnvironment(env);
  nami.start(QStringLiteral(NAMI_BINARY_DIR "/nami"),
             {QStringLiteral("--automation"), QStringLiteral("--ini"), QString::fromStdString(dir.File("NAMI.INI"))});
  ASSERT_TRUE(nami.waitForFinished(10000));
  EXPECT_EQ(nami.exitCode(), 1);
  EXPECT_TRUE(nami.readAllStandardError().contains("nothing can reach this instance"));
}

}  // namespace
}  // namespace nami
