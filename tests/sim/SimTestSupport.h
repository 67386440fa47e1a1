// Drives the in-process simulated port with a manual clock.
#pragma once

#include <string>

#include "link/Clock.h"
#include "sim/SimPort.h"

namespace nami::sim {

class SimSession {
 public:
  explicit SimSession(STncOptions tnc = Fast(), SBbsOptions bbs = {}, int drain = 0,
                   CMessageBase base = CMessageBase::BuiltIn())
      : port(clock, std::move(base), std::move(bbs), std::move(tnc), drain) {
    port.Open("COM1:9600,n,8,1,n");
  }

  static STncOptions Fast() {
    STncOptions o;
    o.connectDelayMs = 300;
    o.answerDelayMs = 50;
    o.lineDelayMs = 10;
    return o;
  }

  // Lets `ms` of time pass in 10 ms steps and returns what arrived.
  std::string Pump(int ms) {
    std::string got;
    for (int t = 0; t < ms; t += 10) {
      clock.AdvanceMs(10);
      char buf[512];
      for (std::size_t n; (n = port.ReadAvailable(buf, sizeof buf)) > 0;) got.append(buf, n);
    }
    return got;
  }
  // Sends `bytes`, then waits (at most `maxMs`) until the answer contains `until`.
  std::string Send(const std::string& bytes, const std::string& until, int maxMs = 30000) {
    port.SendText(bytes);
    return Wait(until, maxMs);
  }
  std::string Wait(const std::string& until, int maxMs = 30000) {
    std::string got;
    for (int t = 0; t < maxMs && got.find(until) == std::string::npos; t += 10) got += Pump(10);
    return got;
  }

  CManualClock clock{1796680000};
  CSimPort port;
};

}  // namespace nami::sim
