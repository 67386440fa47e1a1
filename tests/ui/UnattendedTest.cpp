// The real program left alone against nami-tncsim on a pseudo-terminal:
// each way a run can end gives its outcome and exit status within its
// limit, and --stay waits for a pulled device and carries on when it is
// plugged back in (the simulator stopped and started again on the same path).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "UiTestSupport.h"
#include "sim/DemoPort.h"

namespace nami::test {
namespace {

const QString kNami = QStringLiteral(NAMI_BINARY_DIR "/nami");
const QString kTncsim = QStringLiteral(NAMI_BINARY_DIR "/nami-tncsim");

// nami-tncsim serving `link`; stopping it pulls the device.
class Tncsim {
 public:
  Tncsim(const std::string& link, const QStringList& extra) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(
        kTncsim,
        QStringList{"--link", QString::fromStdString(link), "--connect-delay", "100", "--line-delay", "5"} + extra);
    struct stat st {};
    for (int i = 0; i < 250 && ::lstat(link.c_str(), &st) != 0; ++i) QThread::msleep(20);
    ready_ = ::lstat(link.c_str(), &st) == 0;
  }
  ~Tncsim() { Stop(); }
  bool Ready() const { return ready_; }
  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();  // by its PID
    process_.waitForFinished(5000);
  }

 private:
  QProcess process_;
  bool ready_ = false;
};

struct Station {
  Station() {
    App();
    CSettings s(ini);
    // The demo station's profile.
    s.Set(keys::Call, demo::kCall);
    s.Set(keys::Prompt, demo::kPrompt);
    s.Set(keys::ReadCom, "R");
    s.Set(keys::Field[0], "L");
    s.Set(keys::LastMailNo, demo::kLastMailNo);
    s.SetDevicePath("COM2", link);
    s.Set(keys::ListFile, dir.File("list.log"));
    s.Set(keys::MailFile, dir.File("mail.log"));
    s.Set(keys::Watchdog, "2");
  }
  QProcess* Start(const QStringList& extra) {
    nami.setWorkingDirectory(QString::fromStdString(dir.Path()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NAMI_HEADLESS_TIMEOUT", "40");
    nami.setProcessEnvironment(env);
    nami.start(kNami, QStringList{"--headless", "--ini", QString::fromStdString(ini)} + extra);
    return &nami;
  }
  TempDir dir;
  std::string ini = dir.File("NAMI.INI");
  std::string link = dir.File("tnc");
  QProcess nami;
};

TEST(Unattended, EveryRunEndsWithItsOutcomeAndExitStatus) {
  struct Case {
    const char* name;
    QStringList fail;  // nami-tncsim's --fail, empty: none; "pull": stopped mid-run; "absent": never started
    int exitStatus;
    const char* says;  // on the end line
    int limitMs;
  };
  const Case cases[] = {
      {"completed", {}, 0, "完了 (completed)", 20000},
      {"busy", {"--fail", "busy"}, 5, "BBS 使用中 (BBS busy)", 10000},
      {"connect failed", {"--fail", "connect"}, 6, "接続できず (connect failed)", 10000},
      {"no answer", {"--fail", "silent"}, 4, "応答なし (no answer): nothing received for 2 s", 10000},
      {"link dropped", {"--fail", "drop-after:20"}, 7, "リンク断 (link lost)", 20000},
      {"device pulled", {"pull"}, 7, "デバイスが失われました", 10000},
      {"no device", {"absent"}, 1, "ポートが開いていない (port not open)", 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Station st;
    std::unique_ptr<Tncsim> sim;
    const bool pull = c.fail == QStringList{"pull"};
    if (c.fail != QStringList{"absent"}) {
      sim = std::make_unique<Tncsim>(st.link, pull ? QStringList{"--fail", "silent"} : c.fail);
      if (!sim->Ready()) GTEST_SKIP() << "nami-tncsim is not available";
    }
    if (pull) CSettings(st.ini).Set(keys::Watchdog, "0");
    QElapsedTimer t;
    t.start();
    QProcess* nami = st.Start({});
    if (pull) {
      QThread::msleep(1500);
      sim->Stop();
    }
    ASSERT_TRUE(nami->waitForFinished(c.limitMs));
    EXPECT_LT(t.elapsed(), c.limitMs);
    const QString out = QString::fromUtf8(nami->readAllStandardOutput());
    const QString err = QString::fromUtf8(nami->readAllStandardError());
    EXPECT_EQ(nami->exitCode(), c.exitStatus) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("==== "))) << out.toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8(c.says)) || err.contains(QString::fromUtf8(c.says)))
        << out.toStdString() << err.toStdString();
    if (c.exitStatus == 1) {  // the device and the reason on stderr
      EXPECT_TRUE(err.contains(QString::fromStdString(st.link) + QStringLiteral(": ファイルまたはデバイスがありません"))) << err.toStdString();
      EXPECT_EQ(err.count(QString::fromStdString(st.link)), err.count(QStringLiteral("を開けません")))
          << "the device is named once: " << err.toStdString();
    }
  }
}

TEST(Unattended, StayWaitsForAPulledDeviceAndCarriesOnWhenItIsBack) {
  Station st;
  auto sim = std::make_unique<Tncsim>(st.link, QStringList{});
  if (!sim->Ready()) GTEST_SKIP() << "nami-tncsim is not available";
  QProcess* nami = st.Start({"--stay"});
  QString err;
  auto waitFor = [&](const char* text, int ms) {
    QElapsedTimer t;
    t.start();
    while (!err.contains(QString::fromUtf8(text)) && t.elapsed() < ms) {
      nami->waitForReadyRead(100);
      err += QString::fromUtf8(nami->readAllStandardError());
    }
    return err.contains(QString::fromUtf8(text));
  };
  QThread::msleep(500);
  sim->Stop();  // pulled
  EXPECT_TRUE(waitFor("waiting for the port to open", 10000)) << err.toStdString();
  EXPECT_TRUE(err.contains(QStringLiteral("link lost"))) << err.toStdString();
  sim = std::make_unique<Tncsim>(st.link, QStringList{});  // plugged back in
  ASSERT_TRUE(sim->Ready());
  EXPECT_TRUE(waitFor("the port is open again", 10000)) << err.toStdString();
  EXPECT_EQ(err.count(QStringLiteral("waiting for the port")), 1) << "said once";
  nami->terminate();
  ASSERT_TRUE(nami->waitForFinished(5000));
  EXPECT_EQ(nami->exitCode(), 0);
}

// A settings file that exists but cannot be read is named with the reason.
TEST(Unattended, AnUnreadableSettingsFileIsNamed) {
  App();
  TempDir dir;
  const std::string ini = dir.File("NAMI.INI");
  ASSERT_EQ(::mkdir(ini.c_str(), 0700), 0);  // reads fail: a folder
  QProcess nami;
  nami.setWorkingDirectory(QString::fromStdString(dir.Path()));
  nami.start(kNami, QStringList{"--headless", "--ini", QString::fromStdString(ini)});
  ASSERT_TRUE(nami.waitForFinished(10000));
  const QString err = QString::fromUtf8(nami.readAllStandardError());
  EXPECT_TRUE(err.contains(QString::fromStdString("cannot read the settings file " + ini + ": Is a directory")))
      << err.toStdString();
  EXPECT_EQ(err.count(QString::fromStdString(ini)), 1) << "said once: " << err.toStdString();
}

// Control bytes from the link never reach the console or the journal raw:
// they are printed visibly, and Japanese text stays as it is.
TEST(Unattended, ControlBytesFromTheLinkArePrintedVisibly) {
  App();
  TempDir dir;
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string ini = dir.File("NAMI.INI");
  CSettings(ini).SetDevicePath("COM2", ::ptsname(master));
  QProcess nami;
  nami.setWorkingDirectory(QString::fromStdString(dir.Path()));
  nami.start(kNami, QStringList{"--headless", "--stay", "--ini", QString::fromStdString(ini)});
  ASSERT_TRUE(nami.waitForStarted(5000));
  const std::string line = "bell\x07 esc\x1b[31mred\x1b[0m ctl\x01\x1a del\x7f " + Sjis("日本語") + "\r\n";
  QByteArray out;
  QElapsedTimer t;
  t.start();
  while (!out.contains("end") && t.elapsed() < 15000) {
    const std::string bytes = line + "end\r\n";
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    nami.waitForReadyRead(500);
    out += nami.readAllStandardOutput();
  }
  nami.terminate();
  nami.waitForFinished(5000);
  ::close(master);
  out += nami.readAllStandardOutput();
  EXPECT_TRUE(out.contains("bell esc<1B>[31mred<1B>[0m ctl^A^Z del^? 日本語\n")) << out.toStdString();
  for (const char c : {'\x01', '\x07', '\x1a', '\x1b', '\x7f'}) EXPECT_FALSE(out.contains(c)) << int(c);
}

}  // namespace
}  // namespace nami::test
