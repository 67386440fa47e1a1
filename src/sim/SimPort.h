// The simulated TNC and BBS as an in-process port. Output is released as
// the given clock advances; with a drain rate, what is sent waits in a
// transmit queue that empties at that many bytes per second (like a slow
// radio link), and TransmitQueueCount reports it.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "time/Clock.h"
#include "link/Port.h"
#include "sim/Bbs.h"
#include "sim/MessageBase.h"
#include "sim/Tnc2.h"

namespace nami::sim {

class CSimPort final : public IPort {
 public:
  static constexpr std::size_t kQueueSize = 4096;       // the transmit queue
  static constexpr std::size_t kOutputLimit = 1 << 20;  // unread answers before writes are refused

  CSimPort(IClock& clock, CMessageBase base = CMessageBase::BuiltIn(), SBbsOptions bbs = {}, STncOptions tnc = {},
           int drainBytesPerSec = 0);

  // Opening is switching the TNC on: sign-on and command mode. The BBS and
  // its messages stay as they were.
  bool Open(const std::string& comstatus) override;
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override;
  std::size_t SendText(std::string_view bytes) override;
  int TransmitQueueCount() override;
  void Close() override;
  bool IsOpen() const override { return open_; }

  CBbs& Bbs() { return bbs_; }
  CMessageBase& Base() { return base_; }
  CTnc2& Tnc() { return tnc_; }

  // Link events: a write by the terminal or a read that returned bytes.
  int Events() const { return events_; }
  // The link fails right after the n-th event (0: never).
  void DropLinkAfterEvent(int n) { dropAt_ = n; }
  // The transmit queue reports at least `bytes`, as when the radio is busy
  // with other traffic; 0 lets it report only what waits.
  void HoldQueue(int bytes) { heldQueue_ = std::max(0, bytes); }

 private:
  void Drain();
  void Event();

  IClock& clock_;
  CMessageBase base_;
  CBbs bbs_;
  CTnc2 tnc_;
  int drainRate_;
  bool open_ = false;
  std::string queue_;
  std::int64_t drainedUntil_ = 0;  // time up to which the queue has been drained
  int events_ = 0;
  int dropAt_ = 0;
  int heldQueue_ = 0;
};

}  // namespace nami::sim
