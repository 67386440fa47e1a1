#include "ui/NamiView.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include "terminal/KeyMap.h"
#include "terminal/Layout.h"
#include "text/Cp932.h"
#include "ui/Fonts.h"
#include "ui/PainterSurface.h"
#include "ui/QtText.h"

namespace nami {
namespace {

constexpr int kCaretWidth = 5;
constexpr int kCoalesceMs = 50;

// Draws CP932 rows with a QPainter: tabs expanded to stops every eight
// average character widths, measured from the row's start.

}  // namespace

CNamiView::CNamiView(CStation& station, const CHeartbeat& heartbeat, QWidget* parent)
    : QWidget(parent), station_(station), heartbeat_(heartbeat) {
  const CSettings& settings = station_.Settings();
  font_ = MakeTerminalFont(FromCp932(settings.Get(keys::FontName)), settings.GetInt(keys::FontSize));
  setFont(font_);
  lineHeight_ = std::max(1, QFontMetrics(font_).lineSpacing());
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setCursor(Qt::IBeamCursor);
  heldRepaint_.setSingleShot(true);
  connect(&heldRepaint_, &QTimer::timeout, this, [this] {
    const int rows = station_.Rows();
    if (heldFull_)
      update();
    else if (heldBottom_)
      update(QRect(0, (rows - 1) * lineHeight_, width(), lineHeight_));
    heldFull_ = heldBottom_ = false;
    lastRepaint_.start();
  });
}

CNamiView::~CNamiView() = default;

void CNamiView::StopRepaints() {
  heldRepaint_.stop();
  heldFull_ = heldBottom_ = false;
}

QRect CNamiView::CaretRect() const { return QRect(caret_.x(), caret_.y(), kCaretWidth, lineHeight_); }

void CNamiView::UpdateRows() { station_.SetRows(RowsFor(lineHeight_, height())); }

void CNamiView::resizeEvent(QResizeEvent* event) {
  UpdateRows();
  QWidget::resizeEvent(event);
}

void CNamiView::paintEvent(QPaintEvent* event) {
  ++paints_;
  const QRect dirty = event->rect();
  if (dirty.contains(rect())) ++fullPaints_;
  QPainter painter(this);
  painter.setFont(font_);
  const QPalette& pal = palette();
  painter.fillRect(dirty, pal.color(QPalette::Base));
  painter.setPen(pal.color(QPalette::Text));

  UpdateRows();
  CPainterSurface surface(painter, dirty, lineHeight_);
  const CaretPos pos = station_.DrawTerminal(surface, lineHeight_, height());
  const QPoint caret(pos.x, pos.y);
  if (hasFocus() && preedit_.isEmpty())
    painter.fillRect(QRect(caret, QSize(kCaretWidth, lineHeight_)), pal.color(QPalette::Text));
  if (caret != caret_) {
    const QRect old = CaretRect();
    caret_ = caret;
    if (hasFocus()) {
      if (!dirty.contains(old)) update(old);
      QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
    }
  }
  if (!preedit_.isEmpty()) PaintPreedit(painter);
}

bool CNamiView::Coalesce(bool bottomRowOnly) {
  if (!heartbeat_.InDataTick() && !heldRepaint_.isActive()) return false;
  if (!heldRepaint_.isActive() && passedTick_ == heartbeat_.Ticks())
    return false;  // the rest of a tick that went at once
  if (!heldRepaint_.isActive() && (!lastRepaint_.isValid() || lastRepaint_.elapsed() >= kCoalesceMs)) {
    lastRepaint_.start();
    passedTick_ = heartbeat_.Ticks();
    return false;  // the first repaint in this stretch goes at once
  }
  if (bottomRowOnly)
    heldBottom_ = true;
  else
    heldFull_ = true;
  if (!heldRepaint_.isActive()) heldRepaint_.start(std::max<qint64>(0, kCoalesceMs - lastRepaint_.elapsed()));
  return true;
}

void CNamiView::DrawDirect() {
  if (!Coalesce(false)) update();
}
void CNamiView::InvalidateAll() {
  if (!Coalesce(false)) update();
}

void CNamiView::ScrollLines(int lines) {
  if (Coalesce(false)) return;
  const int rows = station_.Rows();
  if (lines >= rows) {
    update();
    return;
  }
  scroll(0, -lines * lineHeight_);
  const int top = (rows - lines - 1) * lineHeight_;
  update(QRect(0, top, width(), height() - top));
}

void CNamiView::RedrawBottomRow(bool /*clearRest*/) {
  // The row is painted opaque over its full width, so the rest of it is
  // always cleared; the caret moves within the same row.
  if (Coalesce(true)) return;
  const int rows = station_.Rows();
  update(QRect(0, (rows - 1) * lineHeight_, width(), lineHeight_));
}

namespace {

// The key as the toolkit-free key map describes it.
KeyStroke Describe(const QKeyEvent& event) {
  static constexpr struct {
    int qt;
    TermKey key;
  } kKeys[] = {{Qt::Key_Return, TermKey::Return},       {Qt::Key_Enter, TermKey::Enter},
               {Qt::Key_Backspace, TermKey::Backspace}, {Qt::Key_Tab, TermKey::Tab},
               {Qt::Key_Backtab, TermKey::Backtab},     {Qt::Key_Escape, TermKey::Escape},
               {Qt::Key_Delete, TermKey::Delete}};
  KeyStroke s;
  const int key = event.key();
  for (const auto& k : kKeys)
    if (k.qt == key) s.key = k.key;
  // Qt's codes of the printable ASCII keys are those characters.
  if (key >= 0x20 && key <= 0x7E) s.base = static_cast<char>(key);
  s.text = event.text().toStdString();
  s.ctrl = event.modifiers() & Qt::ControlModifier;
  s.altOrMeta = event.modifiers() & (Qt::AltModifier | Qt::MetaModifier);
  return s;
}

}  // namespace

bool CNamiView::event(QEvent* event) {
  // A Ctrl+letter the window also uses as a key (Ctrl+F, search) is the
  // terminal's control character here (0x06); the history pane keeps it.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::ControlModifier && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void CNamiView::keyPressEvent(QKeyEvent* event) {
  if (!station_.Type(Describe(*event))) {
    QWidget::keyPressEvent(event);  // menu keys and the rest go to the window
    return;
  }
  event->accept();
}

void CNamiView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) station_.TypeText(ToCp932(event->commitString()));
  // The text being composed is shown at the caret until it is committed;
  // nothing of it goes to the link before then.
  preedit_ = event->preeditString();
  preeditCursor_ = static_cast<int>(preedit_.size());
  for (const QInputMethodEvent::Attribute& a : event->attributes()) {
    if (a.type == QInputMethodEvent::Cursor) preeditCursor_ = std::clamp(a.start, 0, static_cast<int>(preedit_.size()));
  }
  update();
  QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
  event->accept();
}

QRect CNamiView::InputCursorRect() const {
  if (preedit_.isEmpty()) return CaretRect();
  const int advance = QFontMetrics(font_).horizontalAdvance(preedit_.left(preeditCursor_));
  return CaretRect().translated(advance, 0);
}

void CNamiView::PaintPreedit(QPainter& painter) {
  const QFontMetrics fm(font_);
  const QRect area(caret_.x(), caret_.y(), fm.horizontalAdvance(preedit_) + kCaretWidth, lineHeight_);
  const QPalette& pal = palette();
  painter.fillRect(area, pal.color(QPalette::Base));
  QFont underlined = font_;
  underlined.setUnderline(true);
  painter.setFont(underlined);
  painter.setPen(pal.color(QPalette::Text));
  painter.drawText(QPoint(area.x(), area.y() + fm.ascent()), preedit_);
  painter.setFont(font_);
  if (hasFocus()) painter.fillRect(InputCursorRect().adjusted(0, 0, 2 - kCaretWidth, 0), pal.color(QPalette::Text));
}

QVariant CNamiView::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImCursorRectangle:
      return InputCursorRect();
    case Qt::ImFont:
      return font_;
    case Qt::ImCursorPosition:
      return 0;
    case Qt::ImSurroundingText:
      return QString();
    case Qt::ImHints:
      return int(Qt::ImhNone);
    default:
      return QWidget::inputMethodQuery(query);
  }
}

void CNamiView::focusInEvent(QFocusEvent* event) {
  update(CaretRect());
  QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImFont);
  QWidget::focusInEvent(event);
}

void CNamiView::focusOutEvent(QFocusEvent* event) {
  update(CaretRect());
  QWidget::focusOutEvent(event);
}

bool CNamiView::focusNextPrevChild(bool /*next*/) { return false; }  // Tab is a character here

}  // namespace nami
