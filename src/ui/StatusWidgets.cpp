#include "ui/StatusWidgets.h"

#include <QPainter>
#include <algorithm>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>

namespace nami {

CLinkLight::CLinkLight(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("linkLight"));
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QColor CLinkLight::ColorOf(Light light) {
  switch (light) {
    case Light::Off:
      return QColor(0x90, 0x90, 0x90);
    case Light::Busy:
      return QColor(0xF0, 0xA0, 0x00);
    case Light::On:
      return QColor(0x20, 0xB0, 0x20);
    case Light::Fault:
      return QColor(0xD0, 0x20, 0x20);
  }
  return {};
}

void CLinkLight::SetState(Light light, const QString& text) {
  if (light == light_ && text == text_) return;
  const bool wider = fontMetrics().horizontalAdvance(text) > fontMetrics().horizontalAdvance(text_);
  light_ = light;
  text_ = text;
  setToolTip(text);
  if (wider) updateGeometry();
  update();
}

QSize CLinkLight::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  return QSize(fm.height() + 6 + fm.horizontalAdvance(text_) + 6, fm.height() + 2);
}

void CLinkLight::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int d = std::min(height() - 4, fontMetrics().height() - 2);
  const QRect dot(3, (height() - d) / 2, d, d);
  p.setPen(QPen(ColorOf(light_).darker(150), 1));
  p.setBrush(ColorOf(light_));
  p.drawEllipse(dot);
  p.setPen(light_ == Light::Fault ? ColorOf(Light::Fault) : palette().color(QPalette::WindowText));
  p.drawText(rect().adjusted(dot.right() + 6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text_);
}

CActivityPane::CActivityPane(QWidget* parent) : QDockWidget(QStringLiteral("運用ログ"), parent) {
  setObjectName(QStringLiteral("activityPane"));
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMaximumBlockCount(kMaxEntries);
  view_->setUndoRedoEnabled(false);
  setWidget(view_);
}

CElidedLabel::CElidedLabel(int columns, QWidget* parent) : QWidget(parent), columns_(columns) {
  // The whole text when there is room; down to `columns` characters, cut.
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void CElidedLabel::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  setToolTip(text);
  setVisible(!text.isEmpty());
  updateGeometry();
  update();
}

QString CElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text_, Qt::ElideRight, std::max(contentsRect().width() - 4, 0));
}

QSize CElidedLabel::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  return QSize(fm.horizontalAdvance(text_) + 8, fm.height());
}

QSize CElidedLabel::minimumSizeHint() const {
  const QFontMetrics fm = fontMetrics();
  return QSize(text_.isEmpty() ? 0 : fm.averageCharWidth() * columns_, fm.height());
}

void CElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
}

QColor CActivityPane::SentColor() { return QColor(0x10, 0x50, 0xC0); }

void CActivityPane::Append(const ActivityEntry& entry) {
  QTextCharFormat format;
  switch (entry.kind) {
    case ActivityKind::Sent:
      format.setForeground(SentColor());
      break;
    case ActivityKind::Outcome:
      format.setFontWeight(QFont::Bold);
      break;
    case ActivityKind::Note:
      format.setForeground(palette().color(QPalette::Disabled, QPalette::Text));
      break;
    case ActivityKind::Step:
      break;
  }
  QScrollBar* bar = view_->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  if (!view_->document()->isEmpty()) cursor.insertBlock();
  // A blank line between one run's outcome and what follows it.
  if (afterOutcome_) {
    cursor.insertBlock();
    afterOutcome_ = false;
  }
  if (entry.kind == ActivityKind::Outcome) afterOutcome_ = true;
  cursor.insertText(QString::fromStdString(FormatActivity(entry)), format);
  if (atEnd) bar->setValue(bar->maximum());
}

}  // namespace nami
