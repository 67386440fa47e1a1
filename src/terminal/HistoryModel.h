// The history pane's window onto the line store, without any drawing.
//
// It keeps the scroll position (the top line), the scroll range, the rows of
// the highlight band and whether the band is shown, and it owns the marked
// range, set from pointer rows. The marks are store indices; reopening the
// port marks line 0 again. Every request answers with the screen update it
// needs: pixels moved by whole rows, rows to repaint, or the whole pane. Rows are 1-based; row r shows line top + r - 1 and R + 1 rows are
// drawn (the last one may be cut off).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "terminal/NamiDoc.h"

namespace nami {

struct HistoryUpdate {
  // Contents move by this many rows (> 0 down, < 0 up) before the repaint.
  int scrollRows = 0;
  bool all = false;
  // 1-based inclusive row spans to repaint (after the move).
  std::vector<std::pair<int, int>> rows;

  bool Any() const { return all || scrollRows != 0 || !rows.empty(); }
};

// The marked lines (inclusive; empty when last < first).
struct MarkedRange {
  std::int32_t first = 0;
  std::int32_t last = 0;
};

struct HighlightBand {
  bool inView = false;  // false when nothing of the marked range is in view
  int anchorRow = 1;
  int endRow = 1;
  bool Contains(int row) const { return inView && row >= anchorRow && row <= endRow; }
};

class CHistoryModel final : public IOpenListener {
 public:
  explicit CHistoryModel(CNamiDoc& doc);
  ~CHistoryModel() override;
  CHistoryModel(const CHistoryModel&) = delete;
  CHistoryModel& operator=(const CHistoryModel&) = delete;

  // Pixel sizes of the pane; R = pane height / line height.
  void SetMetrics(int lineHeight, int paneHeight);
  int LineHeight() const { return lineHeight_; }
  int PaneHeight() const { return paneHeight_; }
  int Rows() const { return rows_; }

  std::int64_t TopLine() const { return top_; }
  std::int64_t ScrollMax() const { return max_; }

  // Before each paint: the range follows the store, and lines evicted from
  // its front since the last call are taken off the top line so the same
  // text stays in view.
  void PreparePaint();
  // After a receive tick: the same bookkeeping. The text in view does not
  // move, so nothing is repainted, unless lines in view were evicted from
  // the very top of the store.
  HistoryUpdate OnStoreChanged();
  // The store was replaced (a new or opened document): the view starts at
  // its top, nothing marked, and the whole pane is painted anew.
  HistoryUpdate OnStoreReplaced();

  // Scroll requests. A line step moves two lines.
  HistoryUpdate LineUp();
  HistoryUpdate LineDown();
  HistoryUpdate PageUp();
  HistoryUpdate PageDown();
  // Thumb tracking, and any direct placement (search): clamped to the range.
  HistoryUpdate ScrollTo(std::int64_t position);

  // Marking. `y` is in pixels from the top of the pane.
  // Left button down; `rightHeldToo` when the right button is held as well
  // (and no modifier), which flips whether the highlight is shown.
  HistoryUpdate Press(int y, bool rightHeldToo);
  // Pointer moved while the left button alone is held.
  HistoryUpdate Drag(int y);
  // Left double-click: marks the line under the pointer and returns the read
  // command for it: readcom, a blank, the mail number, CR.
  std::string DoubleClick(int y, const std::string& readcom);

  // Focus gained shows the highlight (and repaints); focus lost hides it
  // without a repaint.
  HistoryUpdate FocusIn();
  void FocusOut() { highlightShown_ = false; }
  bool HighlightShown() const { return highlightShown_; }

  // The band for the current marks and top line.
  HighlightBand Band() const;

  // The marked range; SetMarks places it directly (retro-download tests,
  // the benchmark). The first mark is the line cursor.
  const MarkedRange& Marks() const { return marks_; }
  void SetMarks(MarkedRange marks) { marks_ = marks; }
  // The clipboard text stops growing once it has reached this size, so it
  // passes it by at most one line and its CR LF.
  static constexpr std::size_t kMarkedTextLimit = 32600;
  // The marked lines, each followed by CR LF; lines the store does not hold
  // are skipped, and lines stop being added once the text reaches
  // kMarkedTextLimit bytes. Empty when the range is empty.
  std::string MarkedText() const;

  // Reopening the port marks line 0 again.
  void OnPortOpening() override { marks_ = MarkedRange{}; }

 private:
  void SetPosition(std::int64_t position);
  void AddBandRows(HistoryUpdate& update, const HighlightBand& before, int shift) const;
  static void SetMark(std::int32_t& mark, std::int64_t value);

  CNamiDoc& doc_;
  int lineHeight_ = 1;
  int paneHeight_ = 0;
  int rows_ = 0;
  std::int64_t top_ = 0;
  std::int64_t max_ = 0;
  std::uint64_t seenAdded_ = 0;  // the store's AddedCount at the last OnStoreChanged
  bool highlightShown_ = false;
  std::int64_t lastDrag_ = 0;
  MarkedRange marks_;
};

}  // namespace nami
