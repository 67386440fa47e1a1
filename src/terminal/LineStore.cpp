#include "terminal/LineStore.h"

#include "text/ShiftJis.h"

namespace nami {

void CLineStore::AddLine(std::string_view line) {
  if (lines_.size() >= kCapacity) {
    lines_.pop_front();
    if (evicted_ < INT32_MAX) ++evicted_;
  }
  lines_.emplace_back(line);
  ++added_;
}

void CLineStore::RemoveLastLine() {
  if (!lines_.empty()) lines_.pop_back();
}

std::int32_t CLineStore::TakeEvictedCount() {
  std::int32_t n = evicted_;
  evicted_ = 0;
  return n;
}

std::string CLineStore::MailNumberAt(std::int64_t index) const {
  if (index < 0 || static_cast<std::uint64_t>(index) >= lines_.size()) return " ";
  return std::to_string(LeadingNumber(lines_[static_cast<std::size_t>(index)]));
}

void CLineStore::Clear() {
  lines_.clear();
  evicted_ = 0;
}

}  // namespace nami
