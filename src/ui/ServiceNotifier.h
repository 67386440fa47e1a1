// Tells systemd how the unattended station stands when it runs as a
// Type=notify service (NOTIFY_SOCKET set by the service manager); does
// nothing otherwise.
//
// READY=1 once the station has started, WATCHDOG=1 from the heartbeat's
// tick (so a process whose main loop no longer turns is restarted after the
// unit's WatchdogSec), STATUS= what it is doing or how the last run ended
// (shown by `systemctl --user status`), STOPPING=1 when it ends.
#pragma once

#include <cstdint>
#include <string>

namespace nami {

class CServiceNotifier {
 public:
  // Reads NOTIFY_SOCKET and the watchdog's interval (WATCHDOG_USEC) once.
  CServiceNotifier();

  // A service manager listens.
  bool Enabled() const { return enabled_; }
  // How often Beat() must reach the manager, in ms; 0 when it asks for no
  // watchdog pings.
  int WatchdogMs() const { return watchdogMs_; }

  void Ready();
  // The heartbeat's tick ran: a watchdog ping, at most every quarter of
  // the watchdog's interval.
  void Beat(std::int64_t nowMs);
  // `text` (UTF-8) as the service's status, when it changed; a step's
  // progress at most once a second unless `now`.
  void Status(const std::string& text, std::int64_t nowMs, bool now = false);
  void Stopping();

 private:
  void Send(const std::string& state);

  bool enabled_ = false;
  int watchdogMs_ = 0;
  std::int64_t lastBeatMs_ = -1;
  std::string status_;
  std::int64_t statusAtMs_ = -1;
};

}  // namespace nami
