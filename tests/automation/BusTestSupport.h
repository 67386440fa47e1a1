// The test program's session bus and application object, shared by the
// automation suites: the bus the suite runs in (scripts/test wraps it in
// dbus-run-session), or a private dbus-daemon started for this process and
// stopped at its end.
#pragma once

#include <signal.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <string>

#include <gtest/gtest.h>

namespace nami::test {

class SessionBusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--fork"),
                                                 QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0) {
      error_ = "dbus-daemon could not be started: " + daemon.readAllStandardError().toStdString();
      return;
    }
    const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (lines.size() < 2) {
      error_ = "dbus-daemon printed no address";
      return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", lines[0].trimmed().toUtf8());
    daemonPid_ = lines[1].trimmed().toLongLong();
  }
  void TearDown() override {
    if (daemonPid_ > 0) ::kill(static_cast<pid_t>(daemonPid_), SIGTERM);
  }
  static const std::string& Error() { return error_; }

 private:
  static inline std::string error_;
  qint64 daemonPid_ = 0;
};

inline const auto* const kSessionBus = ::testing::AddGlobalTestEnvironment(new SessionBusEnvironment);

// Empty when a session bus is there; else why not.
inline const std::string& SessionBusError() { return SessionBusEnvironment::Error(); }

inline void EnsureCoreApplication() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "test_automation";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);  // lives until the process ends
  }
}

}  // namespace nami::test
