// The line store: every completed received line, oldest first, as CP932
// bytes without line ends. Holds at most 80,000 lines; adding one more
// evicts the oldest and counts it, so the history pane can keep its view on
// the same text. Appending and evicting take constant time.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace nami {

class CLineStore {
 public:
  static constexpr std::size_t kCapacity = 80000;

  void AddLine(std::string_view line);
  void RemoveLastLine();
  std::size_t LineCount() const { return lines_.size(); }
  // The newest line; empty when the store is empty.
  std::string LastLine() const { return lines_.empty() ? std::string() : lines_.back(); }
  // The line at `index` (0 = oldest); callers pass index < LineCount().
  const std::string& LineAt(std::size_t index) const { return lines_[index]; }
  // The count of lines evicted since the last call; resets it to 0.
  std::int32_t TakeEvictedCount();
  // The leading decimal number of line `index` as decimal text (0 when it
  // has none); " " for an index that is not a line.
  std::string MailNumberAt(std::int64_t index) const;
  void Clear();
  // Lines added since the store was created (never reset): lets a reader
  // find the lines completed since it last looked, even in a full store.
  std::uint64_t AddedCount() const { return added_; }

 private:
  std::deque<std::string> lines_;
  std::int32_t evicted_ = 0;
  std::uint64_t added_ = 0;
};

}  // namespace nami
