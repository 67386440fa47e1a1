// Desktop notifications through the freedesktop Notifications service on
// the session bus (org.freedesktop.Notifications). Sent without waiting for
// the answer: a missing notification daemon never holds the window.
//
// A notice may carry a default action (clicking it): the server's answer
// gives the notice's id, and the server's ActionInvoked signal for that id
// runs the action. The "desktop-entry" hint names nami, so the desktop
// shows nami's name and icon and may raise its window.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>

#include "autopilot/RunSummary.h"
#include "settings/Settings.h"

namespace nami {

class CNotifier : public QObject {
  Q_OBJECT

 public:
  explicit CNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus());
  // False when there is no bus to send it on.
  bool Notify(const QString& title, const QString& body);
  // With a default action that runs `onOpen` when the notice is clicked.
  bool Notify(const QString& title, const QString& body, std::function<void()> onOpen);

 private Q_SLOTS:
  void ActionInvoked(uint id, const QString& key);

 private:
  QDBusConnection bus_;
  bool listening_ = false;
  std::map<uint, std::function<void()>> actions_;  // by the server's notice id
};

// Sends the notices a run's end is worth (RunNotices), as the profile's
// notifymail / notifyfail switches allow; returns how many went out. The
// notice of mail to the station runs `openOwnMail` when clicked.
int NotifyRunEnd(CNotifier& notifier, const CSettings& settings, const RunSummary& summary,
                 std::function<void()> openOwnMail = {});

}  // namespace nami
