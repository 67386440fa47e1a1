// Desktop notifications through the freedesktop Notifications service on
// the session bus (org.freedesktop.Notifications). Sent without waiting for
// the answer: a missing notification daemon never holds the window.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace nami {

class CNotifier {
 public:
  explicit CNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus()) : bus_(bus) {}
  // False when there is no bus to send it on.
  bool Notify(const QString& title, const QString& body);

 private:
  QDBusConnection bus_;
};

}  // namespace nami
