// The state of the radio link as the TNC reports it, for the status bar's
// light: its command echo ("cmd:C QZ1ABC", "cmd:D") and its status lines
// ("*** CONNECTED to", "*** DISCONNECTED", "*** QZ1ABC busy", "*** retry
// count exceeded"). A receive listener: the receive tick hands it every
// completed received line.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "time/Clock.h"
#include "terminal/ReceiveListener.h"

namespace nami {

enum class LinkPhase { Disconnected, Connecting, Connected, Disconnecting };

// Why the last connection attempt or connection ended, as the TNC said.
enum class CallFailure { None, Busy, RetriesExceeded };

class CLinkState final : public IReceiveListener {
 public:
  CLinkState() = default;
  // Lines taken as a receive listener are dated by `clock`.
  explicit CLinkState(const IClock& clock) : clock_(&clock) {}

  // One completed line (CP932) received at `now`.
  void OnLine(std::string_view line, std::time_t now);
  // IReceiveListener: one completed line received now.
  void OnLine(std::string_view line) override { OnLine(line, clock_ ? clock_->Now() : 0); }
  // File New / File Open / a reopened port: nothing is known of the link.
  void Reset();

  LinkPhase Phase() const { return phase_; }
  // The station connected to or being called (CP932); empty when none.
  const std::string& Peer() const { return peer_; }
  CallFailure LastFailure() const { return failure_; }

  // "未接続", "接続中 QZ1ABC", "接続 QZ1ABC 00:01:05", "切断中 QZ1ABC" and,
  // after a failure while disconnected, its reason (UTF-8).
  std::string Text(std::time_t now) const;

 private:
  void Enter(LinkPhase phase, std::time_t now);

  const IClock* clock_ = nullptr;
  LinkPhase phase_ = LinkPhase::Disconnected;
  CallFailure failure_ = CallFailure::None;
  std::string peer_;
  std::time_t since_ = 0;
};

}  // namespace nami
