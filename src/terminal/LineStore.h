// The line store: every completed received line, oldest first, as CP932
// bytes without line ends. Holds at most 80,000 lines; adding one more
// evicts the oldest and counts it, so the history pane can keep its view on
// the same text.
//
// The lines live in a ring of string slots that grows to the capacity and
// then stays: appending and evicting take constant time, and once the store
// is full an added line reuses the buffer of the line it evicts, so a full
// store adds lines without allocating.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nami {

class CLineStore {
 public:
  static constexpr std::size_t kCapacity = 80000;

  // A store of another capacity is for measurements only.
  explicit CLineStore(std::size_t capacity = kCapacity) : capacity_(capacity > 0 ? capacity : 1) {}

  // Appends a line; on a full store the oldest line is removed first and
  // counted as evicted.
  void AddLine(std::string_view line);
  // Removes the newest line (nothing on an empty store).
  void RemoveLastLine();
  std::size_t LineCount() const { return count_; }
  // The newest line; empty when the store is empty.
  std::string LastLine() const { return count_ == 0 ? std::string() : Slot(count_ - 1); }
  // The line at `index` (0 = oldest); callers pass index < LineCount(), any
  // other index gives the empty text. The reference stays valid until the
  // store is next changed.
  const std::string& LineAt(std::size_t index) const { return index < count_ ? Slot(index) : Empty(); }
  // The count of lines evicted since the last call; resets it to 0.
  std::int32_t TakeEvictedCount();
  // The leading decimal number of line `index` as decimal text (0 when it
  // has none); " " for an index that is not a line.
  std::string MailNumberAt(std::int64_t index) const;
  // Empties the store and gives its memory back.
  void Clear();
  // Swaps the lines (not the count of lines ever added).
  void Swap(CLineStore& other) noexcept;
  // Lines added since the store was created (never reset): lets a reader
  // find the lines completed since it last looked, even in a full store.
  std::uint64_t AddedCount() const { return added_; }

 private:
  static const std::string& Empty();
  const std::string& Slot(std::size_t index) const {
    std::size_t i = head_ + index;
    return slots_[i >= slots_.size() ? i - slots_.size() : i];
  }

  std::vector<std::string> slots_;  // grows to kCapacity, then used as a ring
  std::size_t head_ = 0;            // slot of the oldest line
  std::size_t count_ = 0;
  std::int32_t evicted_ = 0;
  std::size_t capacity_;
  std::uint64_t added_ = 0;
};

}  // namespace nami
