// The terminal pane: always shows the newest lines of the store and the
// line still being received, and sends every typed character to the link.
//
// It paints from the core's layout and turns the core's update requests
// (which the window passes on from the station's events) into scrolls and
// small invalidations, so a growing line repaints only the bottom row.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "station/Station.h"
#include "ui/Heartbeat.h"

class QPainter;

namespace nami {

class CNamiView : public QWidget {
  Q_OBJECT

 public:
  // `heartbeat` runs the ticks whose repaints the pane coalesces.
  CNamiView(CStation& station, const CHeartbeat& heartbeat, QWidget* parent = nullptr);
  ~CNamiView() override;

  // Drops a held-back repaint (the window is closing).
  void StopRepaints();

  int LineHeight() const { return lineHeight_; }
  const QFont& TerminalFont() const { return font_; }
  QRect CaretRect() const;
  // The text the input method is composing (shown underlined at the caret),
  // and where its cursor is, for the candidate window.
  const QString& PreeditText() const { return preedit_; }
  QRect InputCursorRect() const;

  // Paint statistics, for tests and measurements.
  int PaintCount() const { return paints_; }
  int FullPaintCount() const { return fullPaints_; }

  // The core's update requests (see terminal/UiSink.h).
  void DrawDirect();
  void InvalidateAll();
  void ScrollLines(int lines);
  void RedrawBottomRow(bool clearRest);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void UpdateRows();
  void PaintPreedit(QPainter& painter);

  CStation& station_;
  QFont font_;
  int lineHeight_ = 12;
  QPoint caret_{10, 0};
  QString preedit_;
  int preeditCursor_ = 0;
  const CHeartbeat& heartbeat_;
  // Repaints asked for by ticks that data started are held back to at most
  // one per kCoalesceMs: the whole pane or the bottom row, when the time
  // has come.
  bool Coalesce(bool bottomRowOnly);
  QElapsedTimer lastRepaint_;
  QTimer heldRepaint_;
  bool heldFull_ = false;
  bool heldBottom_ = false;
  std::uint64_t passedTick_ = 0;  // the tick whose repaints went at once
  int paints_ = 0;
  int fullPaints_ = 0;
};

}  // namespace nami
