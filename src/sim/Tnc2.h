// The simulated TNC: nami's TNC2 engine (link/Tnc2Engine.h) in front of the
// simulated BBS (sim/BbsFarSide.h), as a byte-in/byte-out engine with time:
// what the terminal sends goes in through Receive, what the TNC and the BBS
// answer comes out through TakeDue once its time has come (a delay before
// each answer and per line, like a radio link).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "time/Clock.h"
#include "link/Tnc2Engine.h"
#include "sim/Bbs.h"
#include "sim/BbsFarSide.h"

namespace nami::sim {

class CTnc2 {
 public:
  CTnc2(CBbs& bbs, IClock& clock, STncOptions options = {})
      : options_(std::move(options)), far_(bbs, clock, options_), engine_(far_, clock, EngineOptions(options_)) {}

  // A fresh TNC, as after switching it on: sign-on, command mode, no link.
  // Output not yet delivered is thrown away; a BBS session is dropped.
  void PowerOn() { engine_.PowerOn(); }
  // Bytes from the terminal, in any chunking.
  void Receive(std::string_view bytes) { engine_.Receive(bytes); }
  // Appends to `out` at most `max` bytes of output that is due by now;
  // returns how many.
  std::size_t TakeDue(std::string& out, std::size_t max) { return engine_.TakeDue(out, max); }
  // Bytes queued for the terminal, due or not.
  std::size_t PendingOutput() const { return engine_.PendingOutput(); }
  // The monotonic time of the next thing to happen (output due or the
  // connect attempt ending), or -1 when nothing is scheduled.
  std::int64_t NextEventMs() const { return engine_.NextEventMs(); }

  bool Connected() const { return engine_.Connected(); }
  CTnc2Engine& Engine() { return engine_; }
  CBbsFarSide& FarSide() { return far_; }

 private:
  STncOptions options_;
  CBbsFarSide far_;
  CTnc2Engine engine_;
};

}  // namespace nami::sim
