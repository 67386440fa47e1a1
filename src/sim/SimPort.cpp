#include "sim/SimPort.h"

#include <algorithm>

namespace nami::sim {

CSimPort::CSimPort(IClock& clock, CMessageBase base, SBbsOptions bbs, STncOptions tnc, int drainBytesPerSec)
    : clock_(clock),
      base_(std::move(base)),
      bbs_(base_, std::move(bbs)),
      tnc_(bbs_, clock, std::move(tnc)),
      drainRate_(std::max(0, drainBytesPerSec)) {}

bool CSimPort::Open(const std::string&) {
  queue_.clear();
  drainedUntil_ = clock_.MonotonicMs();
  tnc_.PowerOn();
  open_ = true;
  return true;
}

void CSimPort::Close() {
  open_ = false;
  queue_.clear();
}

void CSimPort::Drain() {
  std::int64_t now = clock_.MonotonicMs();
  if (queue_.empty() || drainRate_ == 0) {
    if (!queue_.empty()) tnc_.Receive(queue_);
    queue_.clear();
    drainedUntil_ = now;
    return;
  }
  std::int64_t bytes = (now - drainedUntil_) * drainRate_ / 1000;
  if (bytes <= 0) return;
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(bytes), queue_.size());
  tnc_.Receive(std::string_view(queue_).substr(0, n));
  queue_.erase(0, n);
  // Keep the fraction of a byte that has not been used up.
  drainedUntil_ = queue_.empty() ? now : drainedUntil_ + static_cast<std::int64_t>(n) * 1000 / drainRate_;
}

std::size_t CSimPort::ReadAvailable(char* buffer, std::size_t capacity) {
  if (!open_) return 0;
  Drain();
  std::string out;
  std::size_t n = tnc_.TakeDue(out, capacity);
  out.copy(buffer, n);
  if (n > 0) Event();
  return n;
}

std::size_t CSimPort::SendText(std::string_view bytes) {
  if (!open_) return 0;
  Drain();
  // A terminal that writes without ever reading the answers is refused
  // rather than letting the answers pile up without end.
  if (tnc_.PendingOutput() > kOutputLimit) return 0;
  if (drainRate_ == 0) {
    tnc_.Receive(bytes);
    if (!bytes.empty()) Event();
    return bytes.size();
  }
  if (queue_.empty()) drainedUntil_ = clock_.MonotonicMs();
  std::size_t n = std::min(bytes.size(), kQueueSize - queue_.size());
  queue_.append(bytes.substr(0, n));
  if (n > 0) Event();
  return n;
}

void CSimPort::Event() {
  if (++events_ == dropAt_) tnc_.FarSide().DropLink();
}

int CSimPort::TransmitQueueCount() {
  if (!open_) return 0;
  Drain();
  return std::max(heldQueue_, static_cast<int>(queue_.size()));
}

}  // namespace nami::sim
