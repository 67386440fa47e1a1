#include "terminal/LineStore.h"

#include <algorithm>
#include <utility>

#include "text/ShiftJis.h"

namespace nami {

void CLineStore::AddLine(std::string_view line) {
  ++added_;
  if (slots_.size() < capacity_ && head_ == 0 && count_ == slots_.size()) {
    // Still growing: append a slot. The array doubles but never beyond the
    // capacity, so a full store wastes no slots.
    if (slots_.size() == slots_.capacity()) {
      slots_.reserve(std::min(capacity_, std::max<std::size_t>(64, 2 * slots_.capacity())));
    }
    slots_.emplace_back(line);
    ++count_;
    return;
  }
  std::size_t tail;
  if (count_ >= capacity_) {
    // Full: the oldest slot becomes the newest.
    tail = head_;
    head_ = head_ + 1 == slots_.size() ? 0 : head_ + 1;
    if (evicted_ < INT32_MAX) ++evicted_;
  } else {
    // A free slot left by RemoveLastLine.
    tail = head_ + count_;
    if (tail >= slots_.size()) tail -= slots_.size();
    ++count_;
  }
  std::string& slot = slots_[tail];
  // Keep the evicted line's buffer unless it is far larger than needed, so a
  // few long lines do not pin memory for the life of the store.
  if (slot.capacity() > 2 * line.size() + 256) {
    std::string(line).swap(slot);
  } else {
    slot.assign(line);
  }
}

void CLineStore::RemoveLastLine() {
  if (count_ == 0) return;
  --count_;
  std::size_t tail = head_ + count_;
  if (tail >= slots_.size()) tail -= slots_.size();
  if (head_ == 0 && tail + 1 == slots_.size()) {
    slots_.pop_back();  // still a plain array: shrink it
  } else {
    std::string().swap(slots_[tail]);
  }
}

const std::string& CLineStore::Empty() {
  static const std::string empty;
  return empty;
}

std::int32_t CLineStore::TakeEvictedCount() {
  std::int32_t n = evicted_;
  evicted_ = 0;
  return n;
}

std::string CLineStore::MailNumberAt(std::int64_t index) const {
  if (index < 0 || static_cast<std::uint64_t>(index) >= count_) return " ";
  return std::to_string(LeadingNumber(Slot(static_cast<std::size_t>(index))));
}

void CLineStore::Clear() {
  std::vector<std::string>().swap(slots_);
  head_ = 0;
  count_ = 0;
  evicted_ = 0;
}

void CLineStore::Swap(CLineStore& other) noexcept {
  slots_.swap(other.slots_);
  std::swap(head_, other.head_);
  std::swap(count_, other.count_);
  std::swap(evicted_, other.evicted_);
  std::swap(capacity_, other.capacity_);
}

}  // namespace nami
