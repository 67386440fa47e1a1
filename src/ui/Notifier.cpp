#include "ui/Notifier.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace nami {

bool CNotifier::Notify(const QString& title, const QString& body) {
  if (!bus_.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's default)
  call << QStringLiteral("nami") << 0u << QStringLiteral("nami") << title << body << QStringList() << QVariantMap()
       << -1;
  return bus_.send(call);
}

int NotifyRunEnd(CNotifier& notifier, const CSettings& settings, const RunSummary& summary) {
  int sent = 0;
  for (const RunNotice& notice :
       RunNotices(summary, settings.Get(keys::NotifyOwnMail) != "0", settings.Get(keys::NotifyFailedRun) != "0"))
    sent += notifier.Notify(QString::fromStdString(notice.title), QString::fromStdString(notice.body)) ? 1 : 0;
  return sent;
}

}  // namespace nami
