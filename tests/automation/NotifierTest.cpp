// Desktop notifications: the freedesktop Notify call as a notification
// server on a private session bus receives it.
#include <gtest/gtest.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QObject>
#include <QVariantMap>

#include "BusTestSupport.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "ui/Notifier.h"

namespace nami {
namespace {

// A notification server that records each call.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString app, icon, title, body;
    uint replaces;
    int timeout;
    QStringList actions;
    QVariantMap hints;
  };
  std::vector<Call> calls;

 public Q_SLOTS:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& title, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int timeout) {
    calls.push_back({app, icon, title, body, replaces, timeout, actions, hints});
    return static_cast<uint>(calls.size());
  }
};

TEST(Notifier, SendsTheFreedesktopNotifyCall) {
  test::EnsureCoreApplication();
  if (!test::SessionBusError().empty()) GTEST_SKIP() << test::SessionBusError();
  // The server on a connection of its own, as another program would be.
  QDBusConnection serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notify"));
  ASSERT_TRUE(serverBus.isConnected());
  FakeNotificationServer server;
  ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                       QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

  CNotifier notifier;
  ASSERT_TRUE(notifier.Notify(QStringLiteral("QZ1XYZ 宛のメール 1 通"), QStringLiteral("完了: …")));
  QElapsedTimer t;
  t.start();
  while (server.calls.empty() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(server.calls.size(), 1u);
  EXPECT_EQ(server.calls[0].app, QStringLiteral("nami"));
  EXPECT_EQ(server.calls[0].icon, QStringLiteral("nami"));
  EXPECT_EQ(server.calls[0].title, QStringLiteral("QZ1XYZ 宛のメール 1 通"));
  EXPECT_EQ(server.calls[0].body, QStringLiteral("完了: …"));
  EXPECT_EQ(server.calls[0].replaces, 0u);
  EXPECT_EQ(server.calls[0].timeout, -1);

  serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("fake-notify"));
}

// The notices a run's end sends, as the two switches allow.
TEST(Notifier, RunEndNoticesFollowTheSwitches) {
  test::EnsureCoreApplication();
  if (!test::SessionBusError().empty()) GTEST_SKIP() << test::SessionBusError();
  QDBusConnection serverBus =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notify2"));
  ASSERT_TRUE(serverBus.isConnected());
  FakeNotificationServer server;
  ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                       QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

  RunSummary ownMail;
  ownMail.outcome = RunOutcome::Completed;
  ownMail.messagesRead = 3;
  ownMail.toOwnCall = 1;
  ownMail.ownCall = "QZ1XYZ";
  RunSummary failed;
  failed.outcome = RunOutcome::NoAnswer;
  failed.scheduled = true;
  RunSummary failedByHand = failed;
  failedByHand.scheduled = false;
  const struct {
    const char* name;
    const RunSummary& summary;
    const char* notifyMail;
    const char* notifyFail;
    std::vector<QString> titles;
  } cases[] = {
      {"own mail", ownMail, "1", "1", {QStringLiteral("QZ1XYZ 宛のメール 1 通")}},
      {"own mail, switched off", ownMail, "0", "1", {}},
      {"scheduled run failed", failed, "1", "1", {QStringLiteral("定時の自動運用に失敗: 応答なし")}},
      {"scheduled run failed, switched off", failed, "1", "0", {}},
      {"a run by hand failed", failedByHand, "1", "1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    CSettings settings(dir.File("NAMI.INI"));
    settings.Set(keys::NotifyOwnMail, c.notifyMail);
    settings.Set(keys::NotifyFailedRun, c.notifyFail);
    server.calls.clear();
    CNotifier notifier;
    EXPECT_EQ(NotifyRunEnd(notifier, settings, c.summary), static_cast<int>(c.titles.size()));
    QElapsedTimer t;
    t.start();
    while (server.calls.size() < c.titles.size() && t.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);  // nothing more may come
    std::vector<QString> titles;
    for (const auto& call : server.calls) titles.push_back(call.title);
    EXPECT_EQ(titles, c.titles);
  }

  serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("fake-notify2"));
}

// The notice of mail to the station opens it when clicked: the default
// action, the desktop-entry hint, and the server's ActionInvoked for it.
TEST(Notifier, TheNoticeOfMailToTheStationOpensItWhenClicked) {
  test::EnsureCoreApplication();
  if (!test::SessionBusError().empty()) GTEST_SKIP() << test::SessionBusError();
  QDBusConnection serverBus =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notify3"));
  ASSERT_TRUE(serverBus.isConnected());
  FakeNotificationServer server;
  ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                       QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

  RunSummary summary;
  summary.outcome = RunOutcome::Completed;
  summary.toOwnCall = 2;
  summary.ownCall = "QZ1XYZ";
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  CNotifier notifier;
  int opened = 0;
  EXPECT_EQ(NotifyRunEnd(notifier, settings, summary, [&opened] { ++opened; }), 1);
  QElapsedTimer t;
  t.start();
  while (server.calls.empty() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_EQ(server.calls.size(), 1u);
  EXPECT_EQ(server.calls[0].actions, (QStringList{QStringLiteral("default"), QStringLiteral("開く")}));
  EXPECT_EQ(server.calls[0].hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("nami"));
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);  // the answer with the notice's id

  auto invoke = [&](uint id, const QString& key) {
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("ActionInvoked"));
    signal << id << key;
    serverBus.send(signal);
    QElapsedTimer w;
    w.start();
    while (w.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  invoke(99, QStringLiteral("default"));  // another program's notice
  EXPECT_EQ(opened, 0);
  invoke(1, QStringLiteral("default"));
  EXPECT_EQ(opened, 1);

  serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  QDBusConnection::disconnectFromBus(QStringLiteral("fake-notify3"));
}

TEST(Notifier, WithoutABusItSaysSoAndHoldsNothing) {
  test::EnsureCoreApplication();
  CNotifier notifier(QDBusConnection(QStringLiteral("no-such-connection")));
  EXPECT_FALSE(notifier.Notify(QStringLiteral("a"), QStringLiteral("b")));
}

}  // namespace
}  // namespace nami

#include "NotifierTest.moc"
