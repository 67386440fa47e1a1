// The panes' drawing surface: CP932 lines drawn with QPainter in the
// painter's font, tabs expanded at stops every eight average character
// widths counted from the start of the text.
#pragma once

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include "terminal/Layout.h"

namespace nami {

class CPainterSurface final : public IDrawSurface {
 public:
  // Rows that lie wholly outside `dirty` are measured but not drawn; a null
  // rectangle draws every row.
  explicit CPainterSurface(QPainter& painter, const QRect& dirty = QRect(), int lineHeight = 0);

  int TextWidth(std::string_view text) override { return Layout(text, false, 0, 0); }
  void DrawText(int x, int y, std::string_view text) override;

 private:
  int Layout(std::string_view text, bool draw, int x, int y);

  QPainter& painter_;
  QFontMetrics metrics_;
  QRect dirty_;
  int lineHeight_;
  int tab_;
};

}  // namespace nami
