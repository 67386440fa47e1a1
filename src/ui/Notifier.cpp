#include "ui/Notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "text/Messages.h"

namespace nami {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

CNotifier::CNotifier(const QDBusConnection& bus) : bus_(bus) {}

bool CNotifier::Notify(const QString& title, const QString& body) { return Notify(title, body, {}); }

bool CNotifier::Notify(const QString& title, const QString& body, std::function<void()> onOpen) {
  if (!bus_.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  QStringList actions;
  QVariantMap hints;
  if (onOpen) {
    actions << QStringLiteral("default") << QString::fromStdString(msg::NotifyOpen);
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("nami"));
    if (!listening_)
      listening_ = bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                SLOT(ActionInvoked(uint, QString)));
  }
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's default)
  call << QStringLiteral("nami") << 0u << QStringLiteral("nami") << title << body << actions << hints << -1;
  if (!onOpen) return bus_.send(call);
  // The answer names the notice; its action is kept until it is clicked.
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, onOpen](QDBusPendingCallWatcher* w) {
    const QDBusPendingReply<uint> reply = *w;
    if (reply.isValid()) actions_[reply.value()] = onOpen;
    w->deleteLater();
  });
  return true;
}

void CNotifier::ActionInvoked(uint id, const QString& key) {
  const auto it = actions_.find(id);
  if (it == actions_.end() || key != QStringLiteral("default")) return;
  const std::function<void()> open = it->second;
  actions_.erase(it);
  open();
}

int NotifyRunEnd(CNotifier& notifier, const CSettings& settings, const RunSummary& summary,
                 std::function<void()> openOwnMail) {
  const bool ownMail = settings.Get(keys::NotifyOwnMail) != "0";
  int sent = 0;
  bool first = true;
  for (const RunNotice& notice : RunNotices(summary, ownMail, settings.Get(keys::NotifyFailedRun) != "0")) {
    // The notice of mail to the station comes first when there is one.
    const bool own = first && ownMail && summary.toOwnCall > 0;
    first = false;
    const QString title = QString::fromStdString(notice.title), body = QString::fromStdString(notice.body);
    sent += (own && openOwnMail ? notifier.Notify(title, body, openOwnMail) : notifier.Notify(title, body)) ? 1 : 0;
  }
  return sent;
}

}  // namespace nami
