#include "transfer/SendPump.h"

#include <chrono>

namespace nami {

void CSendPump::Attach() { pacer_.Attach(doc_.Port() ? doc_.Port()->PollFd() : -1); }

void CSendPump::Kick() {
  if (doc_.Senders.Empty()) {
    pacer_.Disarm();
  } else {
    pacer_.Arm();
  }
}

int CSendPump::OnReady() {
  pacer_.TakeReady();
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(1);
  int steps = 0;
  while (!doc_.Senders.Empty()) {
    doc_.Senders.Step();
    ++steps;
    if (steps >= kBurst || Clock::now() >= deadline || !pacer_.MayWriteNow()) break;
  }
  Kick();
  return steps;
}

}  // namespace nami
