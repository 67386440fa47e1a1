// Where the panes put their lines: the newest lines for the terminal pane,
// any stretch of the store for the history pane. Rows are one line height
// apart from y = 0, text starts at x = 10. The panes implement the drawing
// surface with Qt; tests use a fixed-width fake.
#pragma once

#include <cstdint>
#include <string_view>

#include "terminal/LineStore.h"

namespace nami {

class IDrawSurface {
 public:
  virtual ~IDrawSurface() = default;
  // Width in pixels of CP932 text with tabs expanded (stops every 8
  // average character widths).
  virtual int TextWidth(std::string_view text) = 0;
  // Draws CP932 text at (x, y) (top of the row), tabs expanded, opaque.
  virtual void DrawText(int x, int y, std::string_view text) = 0;
};

struct CaretPos {
  int x = 10;
  int y = 0;
};

inline constexpr int kTextLeft = 10;

// Rows fully visible in a pane: pane height / line height (at least 0).
int RowsFor(int lineHeight, int paneHeight);

// Draws the newest R lines (all when there are fewer), then `current` as a
// further last row when given; returns the caret position after the last
// drawn row's text.
CaretPos DrawNewestLines(const CLineStore& store, IDrawSurface& surface, int lineHeight, int paneHeight,
                         const std::string_view* current = nullptr);

// Draws from line `first` downwards, R + 1 lines or until the store ends;
// nothing when `first` is past the end (or negative).
void DrawFrom(const CLineStore& store, IDrawSurface& surface, std::int64_t first, int lineHeight, int paneHeight);

}  // namespace nami
