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
  std::size_t limit = pacer_.BatchBytes();
  IPort* port = doc_.Port();
  if (port && port->PollFd() < 0 && port->TransmitQueueCount() > 0) limit = 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(2);
  int steps = 0;
  doc_.BeginBatch(limit);
  // A step that sends nothing (a sender waiting) still counts, so the loop
  // ends; the time bound keeps the window responsive on slow files.
  while (!doc_.Senders.Empty() && !doc_.BatchFull() && steps < static_cast<int>(limit) + 16) {
    doc_.Senders.Step();
    ++steps;
    if ((steps & 63) == 0 && Clock::now() >= deadline) break;
  }
  doc_.EndBatch();
  Kick();
  return steps;
}

}  // namespace nami
