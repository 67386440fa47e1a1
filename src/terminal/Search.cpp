#include "terminal/Search.h"

#include "text/ShiftJis.h"

namespace nami {

bool LineContains(std::string_view line, std::string_view text) {
  if (text.empty()) return !line.empty();
  // Most lines do not hold the text at any byte; only a byte-wise hit needs
  // the walk over character starts.
  if (line.find(text) == std::string_view::npos) return false;
  return ContainsAtCharStart(line, text);
}

std::int64_t SearchDown(const CLineStore& store, std::int64_t start, std::string_view text) {
  const auto count = static_cast<std::int64_t>(store.LineCount());
  if (start < 0 || start >= count) return start;
  for (std::int64_t i = start; i < count; ++i) {
    if (LineContains(store.LineAt(static_cast<std::size_t>(i)), text)) return i;
  }
  return count;
}

std::int64_t SearchUp(const CLineStore& store, std::int64_t start, std::string_view text) {
  const auto count = static_cast<std::int64_t>(store.LineCount());
  if (start < 0 || start >= count) return start;
  for (std::int64_t i = start; i >= 0; --i) {
    if (LineContains(store.LineAt(static_cast<std::size_t>(i)), text)) return i;
  }
  return -1;
}

std::int64_t CHistorySearch::FromTop(const CLineStore& store) {
  position_ = SearchDown(store, 0, text_);
  return position_;
}

std::int64_t CHistorySearch::FromBottom(const CLineStore& store) {
  position_ = SearchUp(store, static_cast<std::int64_t>(store.LineCount()) - 1, text_);
  return position_;
}

void CHistorySearch::SetText(std::string text) { text_ = std::move(text); }

std::optional<std::int64_t> CHistorySearch::Step(const CLineStore& store, int delta) {
  const std::int64_t from = position_ + delta;
  if (from <= 0) {
    position_ = 1;
    return std::nullopt;
  }
  position_ = delta > 0 ? SearchDown(store, from, text_) : SearchUp(store, from, text_);
  return position_;
}

}  // namespace nami
