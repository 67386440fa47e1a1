#include "ui/NamiView.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include "terminal/Layout.h"
#include "text/Cp932.h"
#include "ui/Fonts.h"
#include "ui/MessageBox.h"
#include "ui/PainterSurface.h"

namespace nami {
namespace {

constexpr int kCaretWidth = 5;
constexpr int kCoalesceMs = 50;
constexpr int kScheduleMs = 60000;

// Draws CP932 rows with a QPainter: tabs expanded to stops every eight
// average character widths, measured from the row's start.

}  // namespace

CNamiView::CNamiView(CSession& session, QWidget* parent)
    : QWidget(parent), session_(session), watch_(session, [this] { RunTick(); }) {
  CSettings& settings = session_.Settings();
  font_ = MakeTerminalFont(QString::fromStdString(Cp932ToUtf8(settings.Get(keys::FontName))),
                           settings.GetInt(keys::FontSize));
  setFont(font_);
  lineHeight_ = std::max(1, QFontMetrics(font_).lineSpacing());
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setCursor(Qt::IBeamCursor);
  heldRepaint_.setSingleShot(true);
  connect(&heldRepaint_, &QTimer::timeout, this, [this] {
    const int rows = session_.Core().Rows();
    if (heldFull_)
      update();
    else if (heldBottom_)
      update(QRect(0, (rows - 1) * lineHeight_, width(), lineHeight_));
    heldFull_ = heldBottom_ = false;
    lastRepaint_.start();
  });
  session_.Ui().SetTarget(this);
}

CNamiView::~CNamiView() {
  StopTimers();
  if (session_.Ui().Target() == this) session_.Ui().SetTarget(nullptr);
}

void CNamiView::StartTimers() {
  if (!scheduleRunning_) {
    scheduleTimer_ = startTimer(kScheduleMs);
    scheduleRunning_ = true;
  }
  watch_.Start();
}

void CNamiView::StopTimers() {
  watch_.Stop();
  heldRepaint_.stop();
  if (scheduleRunning_) killTimer(scheduleTimer_);
  scheduleRunning_ = false;
}

void CNamiView::timerEvent(QTimerEvent* event) {
  if (scheduleRunning_ && event->timerId() == scheduleTimer_) {
    session_.ScheduleTick();
    watch_.TickSoon();  // a run it started is watched from now on (the heartbeat)
  }
}

void CNamiView::RunTick() {
  ++ticks_;
  const int completed = session_.Tick();
  if (afterTick) afterTick(completed);
}

QRect CNamiView::CaretRect() const { return QRect(caret_.x(), caret_.y(), kCaretWidth, lineHeight_); }

void CNamiView::UpdateRows() { session_.Core().SetRows(RowsFor(lineHeight_, height())); }

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
  const std::string current = session_.Core().CurrentLine();
  const std::string_view currentView(current);
  const CaretPos pos = DrawNewestLines(session_.Doc().Lines(), surface, lineHeight_, height(), &currentView);
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
  if (!watch_.InDataTick() && !heldRepaint_.isActive()) return false;
  if (!heldRepaint_.isActive() && passedTick_ == ticks_) return false;  // the rest of a tick that went at once
  if (!heldRepaint_.isActive() && (!lastRepaint_.isValid() || lastRepaint_.elapsed() >= kCoalesceMs)) {
    lastRepaint_.start();
    passedTick_ = ticks_;
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
  const int rows = session_.Core().Rows();
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
  const int rows = session_.Core().Rows();
  update(QRect(0, (rows - 1) * lineHeight_, width(), lineHeight_));
}

void CNamiView::ShowMessage(const std::string& text) {
  const QString utf = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (messageHandler) {
    messageHandler(utf);
    return;
  }
  // No nested event loop: the tick and the autopilot must not run inside
  // the call that raised the message.
  OpenMessageBox(window(), utf);
}

void CNamiView::Beep() { QApplication::beep(); }

void CNamiView::SendBytes(const std::string& cp932) {
  for (unsigned char b : cp932) session_.Core().Key(b);
}

void CNamiView::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers();
  const int key = event->key();
  if (mods & (Qt::AltModifier | Qt::MetaModifier)) {  // menu keys, never sent
    QWidget::keyPressEvent(event);
    return;
  }
  std::string bytes;
  if (mods & Qt::ControlModifier) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
      bytes.push_back(static_cast<char>(key - Qt::Key_A + 1));
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
      bytes = "\n";  // the keyboard's line feed
    else if (key == Qt::Key_Backspace)
      bytes = "\x7f";
    else if (key == Qt::Key_At || key == Qt::Key_BracketLeft || key == Qt::Key_Backslash ||
             key == Qt::Key_BracketRight || key == Qt::Key_AsciiCircum || key == Qt::Key_Underscore)
      bytes.push_back(static_cast<char>(key & 0x1F));
  } else {
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        bytes = "\r";
        break;
      case Qt::Key_Backspace:
        bytes = "\x08";
        break;
      case Qt::Key_Tab:
      case Qt::Key_Backtab:  // Shift+Tab
        bytes = "\t";
        break;
      case Qt::Key_Escape:
        bytes = "\x1b";
        break;
      case Qt::Key_Delete:
        break;  // no character on this key
      default: {
        const QString text = event->text();
        if (!text.isEmpty() && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7F)
          bytes = Utf8ToCp932(text.toStdString());
      }
    }
  }
  if (bytes.empty()) {
    QWidget::keyPressEvent(event);
    return;
  }
  SendBytes(bytes);
  event->accept();
}

void CNamiView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) SendBytes(Utf8ToCp932(event->commitString().toStdString()));
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
