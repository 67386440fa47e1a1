// The stack of active senders (upload, paste-send, a mail file).
//
// Only the newest sender sends: one started while another runs holds the
// older one until it has finished, then the older one goes on where it
// stopped. The shell calls Step() whenever the port may take more bytes
// (a short timer, or a writable notification, only while senders exist).
#pragma once

#include <vector>

namespace nami {

class ISender {
 public:
  virtual ~ISender() = default;
  // Sends its next piece if the port's transmit queue is empty. Returns
  // false once the sender has finished (it is then removed).
  virtual bool Step() = 0;
};

class CSenderStack {
 public:
  void Push(ISender* sender);
  // Removes a sender wherever it is (a stop command, quitting).
  void Remove(ISender* sender);
  // Steps the newest sender; returns true while any sender remains.
  bool Step();
  bool Empty() const { return senders_.empty() && !drainPending_; }
  // The document's queue of text the port has not taken yet: while it holds
  // bytes it is stepped before any sender and the stack counts as busy.
  void SetDrain(ISender* drain) { drain_ = drain; }
  void DrainPending(bool pending) { drainPending_ = pending && drain_; }
  ISender* Active() const { return senders_.empty() ? nullptr : senders_.back(); }
  bool Contains(const ISender* sender) const;
  void Clear() { senders_.clear(); }

 private:
  std::vector<ISender*> senders_;
  ISender* drain_ = nullptr;
  bool drainPending_ = false;
};

}  // namespace nami
