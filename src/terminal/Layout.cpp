#include "terminal/Layout.h"

namespace nami {

int RowsFor(int lineHeight, int paneHeight) {
  if (lineHeight <= 0 || paneHeight <= 0) return 0;
  return paneHeight / lineHeight;
}

CaretPos DrawNewestLines(const CLineStore& store, IDrawSurface& surface, int lineHeight, int paneHeight,
                         const std::string_view* current) {
  const std::int64_t rows = RowsFor(lineHeight, paneHeight);
  const std::int64_t total = static_cast<std::int64_t>(store.LineCount()) + (current ? 1 : 0);
  const std::int64_t first = total > rows ? total - rows : 0;
  CaretPos caret;
  int drawn = 0;
  for (std::int64_t i = first; i < total; ++i) {
    std::string_view text = (current && i == total - 1) ? *current : std::string_view(store.LineAt(static_cast<std::size_t>(i)));
    const int y = lineHeight * drawn;
    surface.DrawText(kTextLeft, y, text);
    caret.x = surface.TextWidth(text) + kTextLeft;
    caret.y = y;
    ++drawn;
  }
  return caret;
}

void DrawFrom(const CLineStore& store, IDrawSurface& surface, std::int64_t first, int lineHeight, int paneHeight) {
  const std::int64_t count = static_cast<std::int64_t>(store.LineCount());
  if (first < 0 || first >= count) return;
  const std::int64_t rows = RowsFor(lineHeight, paneHeight) + 1;
  for (std::int64_t r = 0; r < rows && first + r < count; ++r) {
    surface.DrawText(kTextLeft, static_cast<int>(r) * lineHeight, store.LineAt(static_cast<std::size_t>(first + r)));
  }
}

}  // namespace nami
