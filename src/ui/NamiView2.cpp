#include "ui/NamiView2.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "settings/Settings.h"
#include "terminal/Layout.h"
#include "text/Cp932.h"
#include "ui/CommandTable.h"
#include "ui/Fonts.h"
#include "ui/LineEditDlg.h"
#include "ui/PainterSurface.h"
#include "ui/QtText.h"
#include "ui/SearchDlg.h"

namespace nami {

namespace {


}  // namespace

CNamiView2::CNamiView2(CNamiDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc), model_(doc) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  setContextMenuPolicy(Qt::PreventContextMenu);
  viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

  // The pane's own font: section "Window", a fixed-pitch CJK face when the
  // one asked for is not installed.
  CSettings& settings = doc_.Settings();
  const int size = settings.GetInt(keys::FontSize);
  font_.setFamilies({ResolveFontFamily(FromCp932(settings.Raw(keys::FontNameHistory)))});
  font_.setPixelSize(size > 0 ? size : 12);
  font_.setFixedPitch(true);
  setFont(font_);
  viewport()->setFont(font_);
  const QFontMetrics fm(font_);
  lineHeight_ = std::max(fm.lineSpacing(), 1);

  QScrollBar* bar = verticalScrollBar();
  bar->setSingleStep(2);
  connect(bar, &QScrollBar::actionTriggered, this, &CNamiView2::OnScrollAction);
  connect(bar, &QScrollBar::valueChanged, this, [this](int value) {
    // Changes that did not come through an action (keyboard on the bar).
    if (syncing_ || value == model_.TopLine()) return;
    Apply(model_.ScrollTo(value));
  });

  heldUpdate_.setSingleShot(true);
  connect(&heldUpdate_, &QTimer::timeout, this, &CNamiView2::OnStoreChanged);

  searchRequest_ = [this](const QString& initial, TextDone done) { ShowSearchDialog(initial, std::move(done)); };
  lineEditRequest_ = [this](const QString& initial, TextDone done) { ShowLineEditDialog(initial, std::move(done)); };
  Measure();
}

void CNamiView2::Measure() { model_.SetMetrics(lineHeight_, viewport()->height()); }

void CNamiView2::SyncScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  syncing_ = true;
  bar->setRange(0, static_cast<int>(std::min<std::int64_t>(model_.ScrollMax(), INT32_MAX)));
  bar->setPageStep(std::max(model_.Rows(), 1));
  bar->setValue(static_cast<int>(model_.TopLine()));
  syncing_ = false;
}

void CNamiView2::OnStoreChanged() {
  heldUpdate_.stop();
  lastUpdate_.start();
  ++storeUpdates_;
  Measure();
  Apply(model_.OnStoreChanged());
}

void CNamiView2::OnStoreReplaced() {
  heldUpdate_.stop();
  Measure();
  ClearHit();
  Apply(model_.OnStoreReplaced());
}

void CNamiView2::StoreChangedSoon() {
  if (heldUpdate_.isActive()) return;
  if (!lastUpdate_.isValid() || lastUpdate_.elapsed() >= kCoalesceMs) {
    OnStoreChanged();
    return;
  }
  heldUpdate_.start(static_cast<int>(std::max<qint64>(0, kCoalesceMs - lastUpdate_.elapsed())));
}

void CNamiView2::Apply(const HistoryUpdate& update) {
  SyncScrollBar();
  QWidget* pane = viewport();
  if (update.all) {
    pane->update();
    return;
  }
  if (update.scrollRows != 0) pane->scroll(0, update.scrollRows * lineHeight_);
  for (const auto& [first, last] : update.rows) {
    pane->update(QRect(0, (first - 1) * lineHeight_, pane->width(), (last - first + 1) * lineHeight_));
  }
}

void CNamiView2::OnScrollAction(int action) {
  if (syncing_) return;
  Measure();
  QScrollBar* bar = verticalScrollBar();
  HistoryUpdate update;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      update = model_.LineUp();
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      update = model_.LineDown();
      break;
    case QAbstractSlider::SliderPageStepSub:
      update = model_.PageUp();
      break;
    case QAbstractSlider::SliderPageStepAdd:
      update = model_.PageDown();
      break;
    // The bar reports full positions, so the thumb reaches every line.
    case QAbstractSlider::SliderMove:
      update = model_.ScrollTo(bar->sliderPosition());
      break;
    default:
      break;  // to top / to bottom are not acted on
  }
  // The bar goes where the model went, not where its own step would take it.
  bar->setSliderPosition(static_cast<int>(model_.TopLine()));
  Apply(update);
}

void CNamiView2::scrollContentsBy(int, int) {
  // Scrolling is driven by OnScrollAction, which moves only what it must.
}

void CNamiView2::paintEvent(QPaintEvent* event) {
  Measure();
  model_.PreparePaint();
  SyncScrollBar();

  QWidget* pane = viewport();
  QPainter painter(pane);
  const QPalette& pal = palette();
  painter.fillRect(event->rect(), pal.color(QPalette::Base));
  painter.setFont(font_);
  painter.setPen(pal.color(QPalette::Text));
  CPainterSurface surface(painter);
  DrawFrom(doc_.Lines(), surface, model_.TopLine(), lineHeight_, pane->height());

  // The line the last search found, on a yellow ground under the text.
  if (hitLine_ >= 0 && hitLine_ >= model_.TopLine()) {
    const std::int64_t y = (hitLine_ - model_.TopLine()) * lineHeight_;
    if (y < pane->height()) {
      painter.setCompositionMode(QPainter::CompositionMode_Multiply);
      painter.fillRect(QRect(0, static_cast<int>(y), pane->width(), lineHeight_), HitColor());
      painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  }

  const HighlightBand band = model_.Band();
  if (model_.HighlightShown() && band.inView) {
    const QRect rect(0, (band.anchorRow - 1) * lineHeight_, pane->width(),
                     (band.endRow - band.anchorRow + 1) * lineHeight_);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(rect, Qt::white);
  }
}

void CNamiView2::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Measure();
  // Another row count may move the top line: paint all of it again.
  SyncScrollBar();
  viewport()->update();
}

void CNamiView2::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Measure();
  ClearHit();
  const bool rightToo = event->buttons() == (Qt::LeftButton | Qt::RightButton) && event->modifiers() == Qt::NoModifier;
  Apply(model_.Press(static_cast<int>(event->position().y()), rightToo));
}

void CNamiView2::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() != Qt::LeftButton) return;
  Measure();
  Apply(model_.Drag(static_cast<int>(event->position().y())));
}

void CNamiView2::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) ShowContextMenu(event->position().toPoint());
}

void CNamiView2::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Measure();
  const std::string readcom = doc_.Settings().Raw(keys::ReadCom);
  const std::string command = model_.DoubleClick(static_cast<int>(event->position().y()), readcom);
  doc_.SendText(command);
  Apply(HistoryUpdate{0, true, {}});
}

void CNamiView2::wheelEvent(QWheelEvent* event) {
  // One notch is one line step.
  wheelRemainder_ += event->angleDelta().y();
  Measure();
  while (wheelRemainder_ >= 120) {
    wheelRemainder_ -= 120;
    Apply(model_.LineUp());
  }
  while (wheelRemainder_ <= -120) {
    wheelRemainder_ += 120;
    Apply(model_.LineDown());
  }
  event->accept();
}

void CNamiView2::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  Apply(model_.FocusIn());
  Q_EMIT activated();
}

void CNamiView2::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  // The band stays on screen until the next repaint.
  model_.FocusOut();
}

void CNamiView2::ShowContextMenu(const QPoint& pos) {
  // The click makes this the active pane, so its commands act here.
  setFocus(Qt::MouseFocusReason);
  Q_EMIT activated();
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  for (const Command id : HistoryContextMenu()) {
    QAction* action = menu->addAction(ContextLabel(RowOf(id)));
    action->setData(static_cast<int>(id));
    action->setEnabled(runCommand && commandEnabled && commandEnabled(id));
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
  }
  menu->popup(viewport()->mapToGlobal(pos));
}

void CNamiView2::Search() {
  search_.Reset();
  wrap_ = 0;
  ClearHit();
  searchRequest_(FromCp932(search_.Text()), [this](bool ok, const QString& text) {
    if (ok) search_.SetText(ToCp932(text));
  });
}

void CNamiView2::SearchNext() { SearchStep(+1); }

void CNamiView2::SearchPrev() { SearchStep(-1); }

void CNamiView2::SearchStep(int direction) {
  Measure();
  model_.PreparePaint();
  const CLineStore& lines = doc_.Lines();
  std::optional<std::int64_t> position;
  if (wrap_ == direction)
    position = direction > 0 ? search_.FromTop(lines) : search_.FromBottom(lines);
  else
    position = direction > 0 ? search_.Down(lines) : search_.Up(lines);
  if (!position || CHistorySearch::Found(lines, position)) {  // found, or stopped before searching
    wrap_ = 0;
    ShowHit(position);
    return;
  }
  // Nothing more that way: said once, and the same key again starts over
  // from the other end.
  wrap_ = direction;
  ShowHit(position);
  const QString text = direction > 0 ? QStringLiteral("見つかりません。もう一度 F3 で先頭から検索します。")
                                     : QStringLiteral("見つかりません。もう一度 Shift+F3 で末尾から検索します。");
  if (showMessage)
    showMessage(text);
  else
    OpenMessageBox(this, text);
}

void CNamiView2::ShowHit(std::optional<std::int64_t> position) {
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  hitLine_ = position && *position >= 0 && *position < count ? *position : -1;
  if (position) Apply(model_.ScrollTo(*position));
  viewport()->update();
}

void CNamiView2::ClearHit() {
  if (hitLine_ < 0) return;
  hitLine_ = -1;
  viewport()->update();
}

void CNamiView2::SetMarks(MarkedRange marks) {
  model_.SetMarks(marks);
  viewport()->update();
}

void CNamiView2::EditAndSend() {
  const std::string marked = model_.MarkedText();
  const QString initial = FromCp932(marked);
  lineEditRequest_(initial, [this, marked, initial](bool ok, const QString& text) {
    if (!ok) return;
    // Unchanged text goes out byte for byte, whatever the converter would make of it.
    const std::string bytes = text == initial ? marked : ToCp932(text);
    if (!bytes.empty()) doc_.SendText(bytes);
  });
}

void CNamiView2::ShowSearchDialog(const QString& initial, TextDone done) {
  auto* dialog = new CSearchDlg(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetText(initial);
  connect(dialog, &QDialog::finished, this,
          [dialog, done](int result) { done(result == QDialog::Accepted, dialog->Text()); });
  dialog->open();
}

void CNamiView2::ShowLineEditDialog(const QString& initial, TextDone done) {
  auto* dialog = new CLineEditDlg(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetText(initial);
  connect(dialog, &QDialog::finished, this,
          [dialog, done](int result) { done(result == QDialog::Accepted, dialog->Text()); });
  dialog->open();
}

}  // namespace nami
