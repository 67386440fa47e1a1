#include "terminal/HistoryModel.h"

#include <algorithm>

#include "terminal/Layout.h"

namespace nami {

CHistoryModel::CHistoryModel(CNamiDoc& doc) : doc_(doc) { doc_.AddOpenListener(this); }

CHistoryModel::~CHistoryModel() { doc_.RemoveOpenListener(this); }

void CHistoryModel::SetMetrics(int lineHeight, int paneHeight) {
  lineHeight_ = std::max(lineHeight, 1);
  paneHeight_ = std::max(paneHeight, 0);
  rows_ = RowsFor(lineHeight_, paneHeight_);
}

void CHistoryModel::SetMark(std::int32_t& mark, std::int64_t value) {
  mark = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

void CHistoryModel::SetPosition(std::int64_t position) { top_ = std::clamp<std::int64_t>(position, 0, max_); }

void CHistoryModel::PreparePaint() {
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  max_ = std::max<std::int64_t>(count - rows_, 0);
  SetPosition(top_ - doc_.Lines().TakeEvictedCount());
}

HistoryUpdate CHistoryModel::OnStoreChanged() {
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  max_ = std::max<std::int64_t>(count - rows_, 0);
  const std::int64_t wanted = top_ - doc_.Lines().TakeEvictedCount();
  SetPosition(wanted);
  HistoryUpdate update;
  update.all = top_ != wanted;
  // Lines added since the last call that land in the rows on show (the
  // last row may be partly visible) must be painted too.
  const std::uint64_t added = doc_.Lines().AddedCount();
  const auto fresh = static_cast<std::int64_t>(std::min<std::uint64_t>(added - seenAdded_, count));
  seenAdded_ = added;
  const std::int64_t first = std::max(count - fresh, top_);
  const std::int64_t last = std::min(count - 1, top_ + rows_);
  if (!update.all && fresh > 0 && first <= last)
    update.rows.emplace_back(static_cast<int>(first - top_) + 1, static_cast<int>(last - top_) + 1);
  return update;
}

HistoryUpdate CHistoryModel::OnStoreReplaced() {
  top_ = 0;
  marks_ = MarkedRange{};
  doc_.Lines().TakeEvictedCount();
  seenAdded_ = doc_.Lines().AddedCount();
  max_ = std::max<std::int64_t>(static_cast<std::int64_t>(doc_.Lines().LineCount()) - rows_, 0);
  HistoryUpdate update;
  update.all = true;
  return update;
}

HighlightBand CHistoryModel::Band() const {
  HighlightBand band;
  const std::int64_t f = marks_.first - top_;
  const std::int64_t l = marks_.last - top_;
  const std::int64_t lastRowIndex = rows_;  // row R + 1, counted from 0
  if (l > f) {
    // Nothing to show when the whole range lies above or below the rows.
    if (l < 0 || f > lastRowIndex) return band;
    band.anchorRow = (f >= 0 && f <= lastRowIndex) ? static_cast<int>(f) + 1 : 1;
    band.endRow = (l >= 0 && l <= lastRowIndex) ? static_cast<int>(l) + 1 : rows_ + 1;
  } else {
    // An empty or one-line range: the row of the first marked line.
    if (f < 0 || f > lastRowIndex) return band;
    band.anchorRow = band.endRow = static_cast<int>(f) + 1;
  }
  band.inView = true;
  return band;
}

void CHistoryModel::AddBandRows(HistoryUpdate& update, const HighlightBand& before, int shift) const {
  const int lastRow = rows_ + 1;
  auto add = [&](int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, lastRow);
    if (first <= last) update.rows.emplace_back(first, last);
  };
  // The old band where the moved pixels put it, and the band at its new place.
  if (before.inView) add(before.anchorRow + shift, before.endRow + shift);
  const HighlightBand after = Band();
  if (after.inView) add(after.anchorRow, after.endRow);
}

HistoryUpdate CHistoryModel::LineUp() {
  HistoryUpdate update;
  if (top_ < 1) return update;
  const HighlightBand before = Band();
  const std::int64_t old = top_;
  SetPosition(top_ - 2);
  const std::int64_t moved = old - top_;
  if (moved == 2) {
    update.scrollRows = 2;
    update.rows.emplace_back(1, 2);
    AddBandRows(update, before, 2);
  } else if (moved != 0) {
    update.all = true;
  }
  return update;
}

HistoryUpdate CHistoryModel::LineDown() {
  HistoryUpdate update;
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  if (top_ > count - 2 - rows_) return update;
  const HighlightBand before = Band();
  const std::int64_t old = top_;
  SetPosition(top_ + 2);
  const std::int64_t moved = top_ - old;
  if (moved == 2) {
    // Rows R - 1 and R are uncovered, and row R + 1 (cut off before) too.
    update.scrollRows = -2;
    update.rows.emplace_back(std::max(rows_ - 1, 1), rows_ + 1);
    AddBandRows(update, before, -2);
  } else if (moved != 0) {
    update.all = true;
  }
  return update;
}

HistoryUpdate CHistoryModel::PageUp() { return ScrollTo(top_ - rows_); }
HistoryUpdate CHistoryModel::PageDown() { return ScrollTo(top_ + rows_); }

HistoryUpdate CHistoryModel::ScrollTo(std::int64_t position) {
  SetPosition(position);
  HistoryUpdate update;
  update.all = true;
  return update;
}

HistoryUpdate CHistoryModel::Press(int y, bool rightHeldToo) {
  HistoryUpdate update;
  if (rightHeldToo) {
    highlightShown_ = !highlightShown_;
    update.all = true;
  }
  if (y < 0 || y > paneHeight_) return update;
  const std::int64_t line = top_ + y / lineHeight_;
  SetMark(marks_.first, line);
  SetMark(marks_.last, line);
  lastDrag_ = marks_.last;
  update.all = true;
  return update;
}

HistoryUpdate CHistoryModel::Drag(int y) {
  const HighlightBand before = Band();
  HistoryUpdate update;
  bool scrolled = false;
  if (y > paneHeight_) {
    SetMark(marks_.last, std::int64_t{marks_.last} + 1);
    update = LineDown();
    scrolled = true;
  } else if (y < 0) {
    if (marks_.last <= marks_.first) return update;
    SetMark(marks_.last, std::int64_t{marks_.last} - 1);
    update = LineUp();
    scrolled = true;
  } else {
    SetMark(marks_.last, top_ + y / lineHeight_);
  }
  if (marks_.last == lastDrag_) return update;
  lastDrag_ = marks_.last;
  if (scrolled) {
    update.all = true;
    return update;
  }
  // Only the rows that enter or leave the band change.
  const HighlightBand after = Band();
  for (int row = 1; row <= rows_ + 1; ++row) {
    if (before.Contains(row) == after.Contains(row)) continue;
    if (!update.rows.empty() && update.rows.back().second == row - 1) {
      update.rows.back().second = row;
    } else {
      update.rows.emplace_back(row, row);
    }
  }
  return update;
}

std::string CHistoryModel::DoubleClick(int y, const std::string& readcom) {
  const std::int64_t line = top_ + y / lineHeight_;
  SetMark(marks_.first, line);
  SetMark(marks_.last, line);
  lastDrag_ = marks_.last;
  return readcom + " " + doc_.Lines().MailNumberAt(line) + "\r";
}

std::string CHistoryModel::MarkedText() const {
  std::string text;
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  const std::int64_t first = std::max<std::int64_t>(marks_.first, 0);
  const std::int64_t last = std::min<std::int64_t>(marks_.last, count - 1);
  for (std::int64_t i = first; i <= last && text.size() < kMarkedTextLimit; ++i) {
    text += doc_.Lines().LineAt(static_cast<std::size_t>(i));
    text += "\r\n";
  }
  return text;
}

HistoryUpdate CHistoryModel::FocusIn() {
  highlightShown_ = true;
  HistoryUpdate update;
  update.all = true;
  return update;
}

}  // namespace nami
