#include "terminal/SenderStack.h"

#include <algorithm>

namespace nami {

void CSenderStack::Push(ISender* sender) {
  Remove(sender);
  senders_.push_back(sender);
}

void CSenderStack::Remove(ISender* sender) {
  senders_.erase(std::remove(senders_.begin(), senders_.end(), sender), senders_.end());
}

bool CSenderStack::Step() {
  if (drainPending_) {
    drainPending_ = drain_->Step();
    if (drainPending_) return true;
  }
  if (senders_.empty()) return false;
  ISender* top = senders_.back();
  if (!top->Step()) Remove(top);
  return !senders_.empty();
}

bool CSenderStack::Contains(const ISender* sender) const {
  return std::find(senders_.begin(), senders_.end(), sender) != senders_.end();
}

}  // namespace nami
