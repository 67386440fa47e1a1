// The headless runner.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <cstdio>

#include "UiTestSupport.h"
#include "text/Cp932.h"
#include "ui/HeadlessRunner.h"

namespace nami {
namespace {

using test::FakePort;
using test::Sjis;
using test::TempDir;

std::string ReadStream(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

struct Headless {
  Headless() {
    test::App();
    settings = std::make_unique<CSettings>(dir.File("NAMI.INI"));
    session = std::make_unique<CStation>(*settings, clock, false);
    auto fake = std::make_unique<FakePort>();
    port = fake.get();
    session->SetPort(std::move(fake));
    out = std::tmpfile();
    err = std::tmpfile();
  }
  ~Headless() {
    std::fclose(out);
    std::fclose(err);
  }
  TempDir dir;
  CManualClock clock{1796000000};
  std::unique_ptr<CSettings> settings;
  std::unique_ptr<CStation> session;
  FakePort* port;
  std::FILE* out;
  std::FILE* err;
};

void PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(HeadlessRunner, StayPrintsEveryCompletedLineInUtf8) {
  Headless h;
  CHeadlessRunner runner(*h.session, true, 0, h.out, h.err);
  h.session->NewDocument();
  h.port->Deliver(Sjis("first\r\n日本語の行\r\npart"));
  h.port->Deliver("ial\r\n");
  runner.Start();
  PumpUntil([&] { return h.session->Doc().Lines().LineCount() >= 3; }, 2000);
  EXPECT_EQ(ReadStream(h.out), "first\n日本語の行\npartial\n");
  EXPECT_FALSE(runner.Finished());
}

TEST(HeadlessRunner, PortMessagesGoToTheErrorStream) {
  Headless h;
  CHeadlessRunner runner(*h.session, true, 0, h.out, h.err);
  h.port->failOpen = true;
  h.session->NewDocument();
  EXPECT_EQ(ReadStream(h.err), "nami: ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい\n");
}

// A notification server on the session bus that records each title.
class TitleRecorder : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList titles;

 public Q_SLOTS:
  uint Notify(const QString&, uint, const QString&, const QString& title, const QString&, const QStringList&,
              const QVariantMap&, int) {
    titles << title;
    return static_cast<uint>(titles.size());
  }
};

TEST(HeadlessRunner, StayTellsTheDesktopOfAFailedScheduledRun) {
  Headless h;
  if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
  QDBusConnection serverBus =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("headless-notify"));
  TitleRecorder server;
  ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                       QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
  h.settings->Set(keys::Min, "1");
  h.port->failOpen = true;
  CHeadlessRunner runner(*h.session, true, 0, h.out, h.err);
  h.session->NewDocument();
  h.session->ScheduleTick();  // sets the next run one minute ahead
  h.clock.AdvanceMs(60000);
  h.session->ScheduleTick();  // the scheduled run: the port is not open
  EXPECT_EQ(h.session->Autopilot().LastEnd().outcome, RunOutcome::PortNotOpen);
  PumpUntil([&] { return !server.titles.isEmpty(); }, 5000);
  EXPECT_EQ(server.titles, QStringList{QStringLiteral("定時の自動運用に失敗: ポートが開いていない")});
  serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("headless-notify"));
}

TEST(HeadlessRunner, OneRunEndsWithTheLogPathsAndAnExitCode) {
  Headless h;
  CHeadlessRunner runner(*h.session, false, 2, h.out, h.err);
  h.session->NewDocument();
  runner.Start();
  PumpUntil([&] { return runner.Finished(); }, 5000);
  ASSERT_TRUE(runner.Finished()) << "the time limit ends a run that never finishes";
  const std::string out = ReadStream(h.out);
  EXPECT_NE(out.find("list log: "), std::string::npos);
  EXPECT_NE(out.find("/templist.dat\nmail log: "), std::string::npos);
  EXPECT_NE(out.find("/tempmail.dat\n"), std::string::npos);
  EXPECT_NE(runner.ExitCode(), 0) << "nothing answers on the fake port";
  EXPECT_FALSE(h.port->open) << "the port is closed at the end";
}

}  // namespace
}  // namespace nami

#include "HeadlessRunnerTest.moc"
