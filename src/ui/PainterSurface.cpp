#include "ui/PainterSurface.h"

#include <QString>
#include <algorithm>

#include "ui/QtText.h"

namespace nami {

CPainterSurface::CPainterSurface(QPainter& painter, const QRect& dirty, int lineHeight)
    : painter_(painter),
      metrics_(painter.font()),
      dirty_(dirty),
      lineHeight_(lineHeight),
      tab_(8 * std::max(1, metrics_.averageCharWidth())) {}

void CPainterSurface::DrawText(int x, int y, std::string_view text) {
  if (!dirty_.isNull() && (y >= dirty_.bottom() + 1 || y + lineHeight_ <= dirty_.top())) return;
  Layout(text, true, x, y);
}

int CPainterSurface::Layout(std::string_view text, bool draw, int x, int y) {
  const QString s = FromCp932(text);
  int width = 0;
  qsizetype start = 0;
  for (;;) {
    const qsizetype tab = s.indexOf(QLatin1Char('\t'), start);
    const QString part = s.mid(start, tab < 0 ? -1 : tab - start);
    if (!part.isEmpty()) {
      if (draw) painter_.drawText(QPoint(x + width, y + metrics_.ascent()), part);
      width += metrics_.horizontalAdvance(part);
    }
    if (tab < 0) break;
    width = (width / tab_ + 1) * tab_;
    start = tab + 1;
  }
  return width;
}

}  // namespace nami
