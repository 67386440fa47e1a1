// What a receive tick saw, published to a fixed, ordered list of listeners.
//
// The document holds the list; the terminal core publishes to it. Each
// event goes to the slots in their order, so a completed line reaches the
// capture before the autopilot's log, and the end of a tick reaches the
// autopilot's prompt watch before the automatic responses answer it. The
// link state and the shell (the headless runner prints each line) come
// last: they only watch.
#pragma once

#include <cstddef>
#include <string_view>

namespace nami {

// The end of a tick that received bytes.
struct ReceivedTick {
  std::string_view scan;        // the current line, or the last stored line plus it when it is empty or "cmd:"
  bool disconnected = false;    // the TNC's disconnect notice was in a completed line or the scan text
  std::string_view latestLine;  // the last line completed (the current line while drawn directly); empty when none
};

class IReceiveListener {
 public:
  // Every tick: the bytes it took from the port (0 when nothing arrived).
  virtual void OnRead(std::size_t /*bytes*/) {}
  // A received line was completed (not a locally echoed one).
  virtual void OnLine(std::string_view /*line*/) {}
  virtual void OnTickEnd(const ReceivedTick& /*tick*/) {}

 protected:
  ~IReceiveListener() = default;
};

// The slots, in the order every event visits them.
enum class ReceiveSlot { Capture, Autopilot, Responses, Link, Shell };
inline constexpr std::size_t kReceiveSlots = 5;

}  // namespace nami
