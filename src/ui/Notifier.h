// Desktop notifications through the freedesktop Notifications service on
// the session bus (org.freedesktop.Notifications). Sent without waiting for
// the answer: a missing notification daemon never holds the window.
#pragma once

#include <QDBusConnection>
#include <QString>

#include "autopilot/RunSummary.h"
#include "settings/Settings.h"

namespace nami {

class CNotifier {
 public:
  explicit CNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus()) : bus_(bus) {}
  // False when there is no bus to send it on.
  bool Notify(const QString& title, const QString& body);

 private:
  QDBusConnection bus_;
};

// Sends the notices a run's end is worth (RunNotices), as the profile's
// notifymail / notifyfail switches allow; returns how many went out.
int NotifyRunEnd(CNotifier& notifier, const CSettings& settings, const RunSummary& summary);

}  // namespace nami
