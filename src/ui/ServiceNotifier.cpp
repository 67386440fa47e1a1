#include "ui/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdlib>

namespace nami {
namespace {

constexpr std::int64_t kStatusEveryMs = 1000;

}  // namespace

CServiceNotifier::CServiceNotifier() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  enabled_ = socket && *socket;
  std::uint64_t usec = 0;
  if (enabled_ && sd_watchdog_enabled(0, &usec) > 0)
    watchdogMs_ = static_cast<int>(std::clamp<std::uint64_t>(usec / 1000, 1, 1u << 30));
}

void CServiceNotifier::Send(const std::string& state) {
  if (enabled_) sd_notify(0, state.c_str());
}

void CServiceNotifier::Ready() { Send("READY=1"); }

void CServiceNotifier::Beat(std::int64_t nowMs) {
  if (watchdogMs_ <= 0 || (lastBeatMs_ >= 0 && nowMs - lastBeatMs_ < watchdogMs_ / 4)) return;
  lastBeatMs_ = nowMs;
  Send("WATCHDOG=1");
}

void CServiceNotifier::Status(const std::string& text, std::int64_t nowMs, bool now) {
  if (text == status_ || (!now && statusAtMs_ >= 0 && nowMs - statusAtMs_ < kStatusEveryMs)) return;
  status_ = text;
  statusAtMs_ = nowMs;
  // One line: the manager shows the status as it is.
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  Send("STATUS=" + line);
}

void CServiceNotifier::Stopping() { Send("STOPPING=1"); }

}  // namespace nami
