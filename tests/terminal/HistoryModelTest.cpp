#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/HistoryModel.h"

namespace nami {
namespace {

constexpr int kLineHeight = 16;

class HistoryModelTest : public ::testing::Test {
 protected:
  HistoryModelTest() : settings_(dir_.File("NAMI.INI")), doc_(settings_, sink_), model_(doc_) {}

  void Fill(int count) {
    for (int i = 0; i < count; ++i) doc_.Lines().AddLine("line " + std::to_string(i));
  }
  // A pane of exactly `rows` full rows plus a few pixels of the next.
  void Show(int rows, std::int64_t top = 0) {
    model_.SetMetrics(kLineHeight, rows * kLineHeight + 5);
    model_.PreparePaint();
    model_.ScrollTo(top);
  }
  static int Y(int row) { return (row - 1) * kLineHeight + 3; }

  test::TempDir dir_;
  CSettings settings_;
  test::RecordingSink sink_;
  CNamiDoc doc_;
  CHistoryModel model_;
};

TEST_F(HistoryModelTest, RangeAndTwoLineSteps) {
  Fill(100);
  Show(10, 88);
  EXPECT_EQ(model_.Rows(), 10);
  EXPECT_EQ(model_.ScrollMax(), 90);

  HistoryUpdate down = model_.LineDown();
  EXPECT_EQ(model_.TopLine(), 90);
  EXPECT_EQ(down.scrollRows, -2);
  EXPECT_FALSE(down.all);
  ASSERT_FALSE(down.rows.empty());
  EXPECT_EQ(down.rows.front(), std::make_pair(9, 11));  // rows R - 1 .. R + 1

  model_.ScrollTo(89);
  EXPECT_FALSE(model_.LineDown().Any());  // 89 > 100 - 2 - 10
  EXPECT_EQ(model_.TopLine(), 89);

  HistoryUpdate up = model_.LineUp();
  EXPECT_EQ(model_.TopLine(), 87);
  EXPECT_EQ(up.scrollRows, 2);

  // One line from the top: a one-line move cannot reuse pixels.
  model_.ScrollTo(1);
  HistoryUpdate toTop = model_.LineUp();
  EXPECT_EQ(model_.TopLine(), 0);
  EXPECT_TRUE(toTop.all);
  EXPECT_EQ(toTop.scrollRows, 0);
  EXPECT_FALSE(model_.LineUp().Any());

  model_.ScrollTo(85);
  model_.PageDown();
  EXPECT_EQ(model_.TopLine(), 90);  // clamped to the range
}

TEST_F(HistoryModelTest, ThumbReachesEveryLineOfALargeStore) {
  Fill(50000);
  Show(10);
  model_.ScrollTo(40000);
  EXPECT_EQ(model_.TopLine(), 40000);
  model_.ScrollTo(60000);
  EXPECT_EQ(model_.TopLine(), 49990);
  model_.ScrollTo(-3);
  EXPECT_EQ(model_.TopLine(), 0);
}

TEST_F(HistoryModelTest, EvictedLinesKeepTheSameTextInView) {
  Fill(static_cast<int>(CLineStore::kCapacity));
  Show(10, 1000);
  const std::string shown = doc_.Lines().LineAt(1000);
  doc_.Lines().TakeEvictedCount();
  for (int i = 0; i < 5; ++i) doc_.Lines().AddLine("new");
  model_.PreparePaint();
  EXPECT_EQ(model_.TopLine(), 995);
  EXPECT_EQ(doc_.Lines().LineAt(995), shown);
  // The count was taken: a second paint does not move again.
  model_.PreparePaint();
  EXPECT_EQ(model_.TopLine(), 995);

  // At the very top the view cannot move further up.
  model_.ScrollTo(2);
  for (int i = 0; i < 5; ++i) doc_.Lines().AddLine("more");
  EXPECT_TRUE(model_.OnStoreChanged().all);  // the lines in view changed
  EXPECT_EQ(model_.TopLine(), 0);
  model_.ScrollTo(500);
  for (int i = 0; i < 5; ++i) doc_.Lines().AddLine("more");
  EXPECT_FALSE(model_.OnStoreChanged().Any());  // same text, nothing to repaint
  EXPECT_EQ(model_.TopLine(), 495);
}

TEST_F(HistoryModelTest, ClickAndDragMarkLinesAndBand) {
  Fill(100);
  Show(10, 40);
  model_.FocusIn();
  HistoryUpdate press = model_.Press(Y(3), false);
  EXPECT_TRUE(press.all);
  EXPECT_EQ(model_.Marks().first, 42);
  EXPECT_EQ(model_.Marks().last, 42);
  EXPECT_EQ(model_.MarkedText(), "line 42\r\n");

  HistoryUpdate drag = model_.Drag(Y(6));
  EXPECT_EQ(model_.Marks().last, 45);
  EXPECT_FALSE(drag.all);
  ASSERT_EQ(drag.rows.size(), 1u);
  EXPECT_EQ(drag.rows[0], std::make_pair(4, 6));  // only the rows that joined the band
  HighlightBand band = model_.Band();
  EXPECT_TRUE(band.inView);
  EXPECT_EQ(band.anchorRow, 3);
  EXPECT_EQ(band.endRow, 6);
  EXPECT_EQ(model_.MarkedText(), "line 42\r\nline 43\r\nline 44\r\nline 45\r\n");

  // The same row again changes nothing.
  EXPECT_FALSE(model_.Drag(Y(6) + 2).Any());

  // Above the anchor the range is empty; the band shrinks to the anchor row.
  model_.Drag(Y(1));
  EXPECT_EQ(model_.Marks().last, 40);
  EXPECT_EQ(model_.MarkedText(), "");
  band = model_.Band();
  EXPECT_EQ(band.anchorRow, 3);
  EXPECT_EQ(band.endRow, 3);
}

TEST_F(HistoryModelTest, DragOutsideThePaneStepsOneLineAndScrolls) {
  Fill(100);
  Show(10, 40);
  model_.Press(Y(9), false);  // line 48
  HistoryUpdate below = model_.Drag(10 * kLineHeight + 100);
  EXPECT_EQ(model_.Marks().last, 49);
  EXPECT_EQ(model_.TopLine(), 42);
  EXPECT_TRUE(below.all);
  model_.Drag(10 * kLineHeight + 100);
  EXPECT_EQ(model_.Marks().last, 50);
  EXPECT_EQ(model_.TopLine(), 44);

  // Above: shrinks by one line per move, never below the anchor.
  model_.Drag(-5);
  EXPECT_EQ(model_.Marks().last, 49);
  EXPECT_EQ(model_.TopLine(), 42);
  model_.Drag(-5);
  EXPECT_EQ(model_.Marks().last, 48);
  EXPECT_FALSE(model_.Drag(-5).Any());
  EXPECT_EQ(model_.Marks().last, 48);
  EXPECT_EQ(model_.TopLine(), 40);  // the refused step did not scroll
}

TEST_F(HistoryModelTest, BandOutsideTheView) {
  Fill(100);
  Show(10, 40);
  model_.SetMarks({30, 45});  // starts above: drawn from row 1
  EXPECT_EQ(model_.Band().anchorRow, 1);
  EXPECT_EQ(model_.Band().endRow, 6);
  model_.SetMarks({30, 70});  // and ends below: to row R + 1
  EXPECT_EQ(model_.Band().endRow, 11);
  model_.SetMarks({30, 35});  // wholly above: nothing in view
  EXPECT_FALSE(model_.Band().inView);
  model_.SetMarks({60, 60});
  EXPECT_FALSE(model_.Band().inView);
}

TEST_F(HistoryModelTest, DoubleClickBuildsReadCommand) {
  doc_.Lines().AddLine("  567 JA1XYZ  hello");
  doc_.Lines().AddLine("no number");
  Show(10);
  EXPECT_EQ(model_.DoubleClick(Y(1), "R"), "R 567\r");
  EXPECT_EQ(model_.Marks().first, 0);
  EXPECT_EQ(model_.DoubleClick(Y(2), "R"), "R 0\r");
  EXPECT_EQ(model_.DoubleClick(Y(5), "R"), "R  \r");  // below the last line
  EXPECT_EQ(model_.Marks().first, 4);
  EXPECT_EQ(model_.Marks().last, 4);
  EXPECT_EQ(model_.MarkedText(), "");
}

TEST_F(HistoryModelTest, MarkedTextStopsAfterLimit) {
  const std::string line(80, 'x');
  for (int i = 0; i < 1000; ++i) doc_.Lines().AddLine(line);
  model_.SetMarks({0, 999});
  EXPECT_EQ(model_.MarkedText().size(), 398u * 82u);
}

// The marked range is the model's: store indices that stay through added,
// evicted and cleared lines, and line 0 again whenever the port is reopened.
TEST_F(HistoryModelTest, MarksStayWithTheModelUntilThePortIsReopened) {
  doc_.SetPort(std::make_unique<test::FakePort>());
  struct Case {
    const char* name;
    std::function<void(CNamiDoc&)> event;
    MarkedRange expected;
  };
  const Case cases[] = {
      {"lines added", [](CNamiDoc& d) { d.Lines().AddLine("more"); }, {7, 9}},
      {"lines evicted",
       [](CNamiDoc& d) {
         for (std::size_t i = 0; i < CLineStore::kCapacity + 5; ++i) d.Lines().AddLine("full");
       },
       {7, 9}},
      {"store cleared", [](CNamiDoc& d) { d.Lines().Clear(); }, {7, 9}},
      {"port reopened", [](CNamiDoc& d) { d.OpenPort("COM1:9600,n,8,1,n"); }, {0, 0}},
  };
  for (const Case& c : cases) {
    Fill(20);
    Show(10);
    model_.SetMarks({7, 9});
    c.event(doc_);
    model_.OnStoreChanged();
    model_.PreparePaint();
    EXPECT_EQ(model_.Marks().first, c.expected.first) << c.name;
    EXPECT_EQ(model_.Marks().last, c.expected.last) << c.name;
    doc_.Lines().Clear();
  }

  // Each model on the document is reset, and one that is gone is not told.
  auto second = std::make_unique<CHistoryModel>(doc_);
  second->SetMarks({3, 4});
  model_.SetMarks({5, 6});
  CHistoryModel third(doc_);
  third.SetMarks({1, 2});
  second.reset();
  doc_.OpenPort("COM1:9600,n,8,1,n");
  EXPECT_EQ(model_.Marks().last, 0);
  EXPECT_EQ(third.Marks().last, 0);
}

}  // namespace
}  // namespace nami
