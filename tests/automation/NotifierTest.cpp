// Desktop notifications: the freedesktop Notify call as a notification
// server on a private session bus receives it.
#include <gtest/gtest.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QVariantMap>

#include "BusTestSupport.h"
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
  };
  std::vector<Call> calls;

 public Q_SLOTS:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& title, const QString& body,
              const QStringList& /*actions*/, const QVariantMap& /*hints*/, int timeout) {
    calls.push_back({app, icon, title, body, replaces, timeout});
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

TEST(Notifier, WithoutABusItSaysSoAndHoldsNothing) {
  test::EnsureCoreApplication();
  CNotifier notifier(QDBusConnection(QStringLiteral("no-such-connection")));
  EXPECT_FALSE(notifier.Notify(QStringLiteral("a"), QStringLiteral("b")));
}

}  // namespace
}  // namespace nami

#include "NotifierTest.moc"
