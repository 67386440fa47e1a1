#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <vector>

#include "ui/CommandTable.h"
#include "ui/Fonts.h"
#include "ui/HistoryFixture.h"

namespace nami {
namespace {

class HistoryViewTest : public test::HistoryFixture {
 protected:
  void Focus() {
    QFocusEvent event(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(view_.get(), &event);
  }
  // True when the right margin of a row shows the inverted background.
  bool Inverted(const QImage& image, int row) const {
    return image.pixelColor(image.width() - 3, RowY(row)) != view_->palette().color(QPalette::Base);
  }
};

TEST_F(HistoryViewTest, ScrollBarFollowsTwoLineSteps) {
  Fill(100);
  Show(10);
  QScrollBar* bar = view_->verticalScrollBar();
  EXPECT_EQ(bar->maximum(), 90);
  bar->setValue(88);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view_->TopLine(), 90);
  bar->setValue(89);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // refused: the bar stays too
  EXPECT_EQ(view_->TopLine(), 89);
  EXPECT_EQ(bar->value(), 89);
  bar->setValue(1);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(bar->value(), 0);
}

TEST_F(HistoryViewTest, ThumbReachesLinesBeyond32250) {
  Fill(50000);
  Show(10);
  view_->verticalScrollBar()->setSliderPosition(45000);
  EXPECT_EQ(view_->TopLine(), 45000);
}

TEST_F(HistoryViewTest, PaintKeepsTextInViewWhileLinesAreEvicted) {
  Fill(static_cast<int>(CLineStore::kCapacity));
  Show(10);
  view_->verticalScrollBar()->setValue(1000);
  const QImage before = Paint();
  const std::string top = doc_.Lines().LineAt(1000);
  for (int i = 0; i < 5; ++i) doc_.Lines().AddLine("new " + std::to_string(i));
  const QImage after = Paint();  // the frame did not call OnStoreChanged
  EXPECT_EQ(view_->TopLine(), 995);
  EXPECT_EQ(view_->verticalScrollBar()->value(), 995);
  EXPECT_EQ(doc_.Lines().LineAt(995), top);
  EXPECT_EQ(before, after);
}

TEST_F(HistoryViewTest, ClickAndDragMarkAndInvertRows) {
  Fill(100);
  Show(10);
  Focus();
  view_->verticalScrollBar()->setValue(40);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, RowY(3));
  EXPECT_EQ(view_->Marks().first, 42);
  EXPECT_EQ(view_->Marks().last, 42);
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, RowY(6));
  EXPECT_EQ(view_->Marks().last, 45);
  QImage image = Paint();
  EXPECT_FALSE(Inverted(image, 2));
  for (int row = 3; row <= 6; ++row) EXPECT_TRUE(Inverted(image, row)) << row;
  EXPECT_FALSE(Inverted(image, 7));

  // What the copy command puts on the clipboard.
  EXPECT_EQ(view_->Model().MarkedText(), "line 42\r\nline 43\r\nline 44\r\nline 45\r\n");

  // Above the anchor: the range empties and only the anchor row stays marked.
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, RowY(1));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, RowY(1));
  EXPECT_EQ(view_->Marks().last, 40);
  image = Paint();
  EXPECT_TRUE(Inverted(image, 3));
  EXPECT_FALSE(Inverted(image, 4));

  // Left with right held hides the band; again shows it.
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, RowY(3));
  EXPECT_FALSE(Inverted(Paint(), 3));
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, RowY(3));
  EXPECT_TRUE(Inverted(Paint(), 3));
}

TEST_F(HistoryViewTest, DoubleClickSendsReadCommandInOneWrite) {
  doc_.Lines().AddLine("  567 JA1XYZ  hello");
  Show(10);
  Mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton, RowY(1));
  ASSERT_EQ(port_->writes.size(), 1u);
  EXPECT_EQ(port_->writes[0], "R 567\r");
}

TEST_F(HistoryViewTest, ContextMenuOnRightButtonUp) {
  Fill(3);
  Show(10);
  Mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, RowY(1));
  EXPECT_EQ(view_->findChild<QMenu*>(), nullptr);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, RowY(1));
  QMenu* menu = view_->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  // The context menu's commands in order; their labels are pinned with the
  // window's menus in tests/data/menus.golden.
  std::vector<int> ids;
  for (QAction* action : menu->actions()) ids.push_back(action->data().toInt());
  std::vector<int> expected;
  for (Command id : HistoryContextMenu()) expected.push_back(static_cast<int>(id));
  EXPECT_EQ(ids, expected);
  menu->close();
}

TEST_F(HistoryViewTest, CjkFontFallbackAndTabStops) {
  // A face that is not installed falls back to the CJK monospace face.
  EXPECT_EQ(ResolveFontFamily("No Such Face"), "IPAGothic");
  EXPECT_EQ(ResolveFontFamily(""), "IPAGothic");
  EXPECT_EQ(view_->PaneFont().families().value(0), "IPAGothic");

  // A tab goes to the next stop of eight character widths from the text start.
  doc_.Lines().AddLine("ab\tc");
  doc_.Lines().AddLine("ab      c");
  doc_.Lines().AddLine("ab     c");
  Show(5);
  const QImage image = Paint();
  const int lh = view_->LineHeight();
  auto row = [&](int r) { return image.copy(0, (r - 1) * lh, image.width(), lh); };
  EXPECT_TRUE(row(1) == row(2));
  EXPECT_FALSE(row(1) == row(3));
}

// Records the rectangles the pane is asked to repaint.
class PaintSpy : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
  QRegion region;
};

TEST_F(HistoryViewTest, LineStepMovesPixelsAndRepaintsOnlyUncoveredRows) {
  Fill(100);
  Show(10);
  Focus();
  view_->verticalScrollBar()->setValue(20);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, RowY(5));
  Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, RowY(6));
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, RowY(6));
  QCoreApplication::processEvents();

  PaintSpy spy;
  view_->viewport()->installEventFilter(&spy);
  auto repaintedRows = [&] {
    int rows = 0;
    for (int row = 1; row <= 11; ++row) rows += spy.region.contains(QPoint(5, RowY(row))) ? 1 : 0;
    return rows;
  };
  // The pixels actually on screen (the offscreen platform grabs its backing store).
  auto screenImage = [&] {
    const QPoint at = view_->viewport()->mapTo(view_.get(), QPoint(0, 0));
    return view_->screen()
        ->grabWindow(view_->winId(), at.x(), at.y(), view_->viewport()->width(), view_->viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  };
  for (auto action : {QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub}) {
    spy.region = QRegion();
    view_->verticalScrollBar()->triggerAction(action);
    QCoreApplication::processEvents();
    // The uncovered rows and the band's old and new rows, never the whole pane.
    EXPECT_GE(repaintedRows(), 2);
    EXPECT_LE(repaintedRows(), 7);
    // What is on screen equals a full repaint at the new position.
    EXPECT_TRUE(screenImage() == Paint().convertToFormat(QImage::Format_RGB32)) << "action " << action;
  }
  EXPECT_EQ(view_->TopLine(), 20);
}

// Lines that land in the rows on show are painted at once, after start-up,
// after a run and after a resize: what is on screen (the backing store the
// offscreen platform keeps) equals a full repaint.
TEST_F(HistoryViewTest, NewLinesInTheVisibleRowsArePaintedWithoutAClick) {
  auto onScreen = [&] {
    QCoreApplication::processEvents();
    const QPoint at = view_->viewport()->mapTo(view_.get(), QPoint(0, 0));
    return view_->screen()
        ->grabWindow(view_->winId(), at.x(), at.y(), view_->viewport()->width(), view_->viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  };
  Fill(2);
  Show(10);
  const QImage before = onScreen();
  struct Step {
    const char* name;
    std::function<void()> act;
  };
  const Step steps[] = {
      {"a line in an empty row", [&] { Fill(1); }},
      {"a whole run's lines", [&] { Fill(20); }},
      {"a resize", [&] { view_->resize(view_->width(), view_->height() + 3 * view_->LineHeight()); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    view_->OnStoreChanged();
    EXPECT_TRUE(onScreen() == Paint());
  }
  EXPECT_FALSE(onScreen() == before);
}

// A busy line adds lines on every receive tick: the pane follows the store
// at most every 50 ms, and what it shows in the end is the whole store.
TEST_F(HistoryViewTest, StoreChangesFromABusyLineAreCoalescedAndStillPainted) {
  auto onScreen = [&] {
    const QPoint at = view_->viewport()->mapTo(view_.get(), QPoint(0, 0));
    return view_->screen()
        ->grabWindow(view_->winId(), at.x(), at.y(), view_->viewport()->width(), view_->viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  };
  Fill(2);
  Show(10);
  const std::uint64_t before = view_->StoreUpdates();
  for (int tick = 0; tick < 40; ++tick) {  // 40 ticks well within 50 ms
    Fill(1);
    view_->StoreChangedSoon();
  }
  EXPECT_LE(view_->StoreUpdates() - before, 1u) << "the first goes at once, the rest wait for the timer";
  EXPECT_TRUE(view_->UpdateHeld());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view_->UpdateHeld(); }, 2000));
  QCoreApplication::processEvents();
  EXPECT_EQ(view_->StoreUpdates() - before, 2u);
  EXPECT_EQ(view_->verticalScrollBar()->maximum(), 42 - 10) << "the range reaches the store's end";
  EXPECT_TRUE(onScreen() == Paint()) << "what is on screen is the store's newest lines";
}

}  // namespace
}  // namespace nami
