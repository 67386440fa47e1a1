// The outgoing queue: what the port has not taken yet, in order, and the
// batch one paced pass of the send engine collects.
//
// Send() hands bytes to the port at once when nothing waits before them;
// what the port leaves waits here and goes out, ahead of anything sent
// later, as Flush() finds the port taking more. Nothing is dropped while the
// port stays open. Between BeginBatch and EndBatch, Send collects up to a
// limit and the queue count reads 0 until the batch is full (or bytes of
// the queue are still waiting: the port is full for now); EndBatch hands the
// batch over like one Send: one write that never waits, the rest queued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/Port.h"

namespace nami {

class COutgoing {
 public:
  // The port written to; nullptr for none (nothing is accepted then).
  void SetPort(IPort* port) { port_ = port; }
  // Called when a write found the port gone (it closed itself).
  std::function<void()> OnPortLost;

  // Returns the count accepted: all of it, or 0 when the port is not open.
  std::size_t Send(std::string_view bytes);
  // Hands the port what it takes of the queue; true while bytes remain.
  bool Flush();
  // Throws away what the port has not taken (it was closed or reopened).
  void Discard();
  void BeginBatch(std::size_t limit);
  void EndBatch();
  bool BatchFull() const { return batching_ && (Queued() > 0 || batch_.size() >= batchLimit_); }
  // The port's own queue plus what waits here: senders wait for 0.
  int QueueCount();
  std::size_t Queued() const { return queue_.size() - queuePos_; }

  // Bytes accepted so far, how many of them the port has taken and how many
  // were thrown away because the port was closed or reopened before it took
  // them. Bytes leave in order: text that ended at Accepted() == A has gone
  // when Written() + Discarded() reaches A, and went out whole when
  // Discarded() did not grow meanwhile.
  std::uint64_t Accepted() const { return accepted_; }
  std::uint64_t Written() const { return written_; }
  std::uint64_t Discarded() const { return discarded_; }

 private:
  bool PortOpen() const { return port_ && port_->IsOpen(); }
  // What the port takes at once, the rest queued.
  void Enqueue(std::string_view bytes);

  IPort* port_ = nullptr;
  std::string queue_;
  std::size_t queuePos_ = 0;
  std::string batch_;  // the batch being collected (only between BeginBatch and EndBatch)
  std::size_t batchLimit_ = 0;
  bool batching_ = false;
  std::uint64_t accepted_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t discarded_ = 0;
};

}  // namespace nami
