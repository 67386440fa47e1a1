#include "terminal/LineStore.h"

#include <gtest/gtest.h>

#include "terminal/Layout.h"

namespace nami {
namespace {

TEST(LineStore, EvictsTheOldestAtCapacityAndCountsIt) {
  CLineStore store;
  EXPECT_EQ(store.LastLine(), "");
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) store.AddLine(std::to_string(i));
  EXPECT_EQ(store.TakeEvictedCount(), 0);
  store.AddLine("new");
  EXPECT_EQ(store.LineCount(), CLineStore::kCapacity);
  EXPECT_EQ(store.LineAt(0), "1");
  EXPECT_EQ(store.LastLine(), "new");
  EXPECT_EQ(store.TakeEvictedCount(), 1);
  EXPECT_EQ(store.TakeEvictedCount(), 0);

  // Around the ring: remove and add again at the wrapped end.
  for (int i = 0; i < 5; ++i) store.AddLine("w" + std::to_string(i));
  EXPECT_EQ(store.TakeEvictedCount(), 5);
  store.RemoveLastLine();
  store.RemoveLastLine();
  EXPECT_EQ(store.LineCount(), CLineStore::kCapacity - 2);
  EXPECT_EQ(store.LastLine(), "w2");
  store.AddLine("again");
  EXPECT_EQ(store.LastLine(), "again");
  EXPECT_EQ(store.LineAt(0), "6");
  EXPECT_EQ(store.TakeEvictedCount(), 0);  // there was room
  store.AddLine("x");
  store.AddLine("y");
  EXPECT_EQ(store.TakeEvictedCount(), 1);
  EXPECT_EQ(store.LineAt(0), "7");
  EXPECT_EQ(store.LineAt(CLineStore::kCapacity - 1), "y");

  // A long line evicted gives its memory back to the next short line's slot.
  store.Clear();
  store.AddLine(std::string(100000, 'L'));
  store.RemoveLastLine();
  EXPECT_EQ(store.LineCount(), 0u);
  store.AddLine("a");
  EXPECT_EQ(store.LastLine(), "a");
}

TEST(LineStore, MailNumberAt) {
  CLineStore store;
  store.AddLine("  12345 JA1ABC  test");
  store.AddLine("ABC 12");
  store.AddLine("-7 minus");
  EXPECT_EQ(store.MailNumberAt(0), "12345");
  EXPECT_EQ(store.MailNumberAt(1), "0");
  EXPECT_EQ(store.MailNumberAt(2), "-7");
  EXPECT_EQ(store.MailNumberAt(3), " ");
  EXPECT_EQ(store.MailNumberAt(-1), " ");
  // An index past the end is the empty text, never a read outside the store.
  EXPECT_EQ(store.LineAt(3), "");
  EXPECT_EQ(store.LineAt(1000000), "");
}

// A surface with 8 pixels per byte and tab stops every 64 pixels.
struct FakeSurface : IDrawSurface {
  int TextWidth(std::string_view text) override {
    int x = 0;
    for (char c : text) x = c == '\t' ? (x / 64 + 1) * 64 : x + 8;
    return x;
  }
  void DrawText(int x, int y, std::string_view text) override {
    rows.push_back(std::to_string(x) + "," + std::to_string(y) + ":" + std::string(text));
  }
  std::vector<std::string> rows;
};

TEST(Layout, NewestLinesFillTheRowsFromTheTop) {
  CLineStore store;
  FakeSurface s;
  // An empty store: nothing drawn, the caret at the left of the first row.
  CaretPos c = DrawNewestLines(store, s, 16, 50);
  EXPECT_TRUE(s.rows.empty());
  EXPECT_EQ(c.x, 10);
  EXPECT_EQ(c.y, 0);

  for (const char* l : {"one", "two", "three", "a\tb"}) store.AddLine(l);
  // 50 / 16 = 3 rows: the newest three.
  c = DrawNewestLines(store, s, 16, 50);
  EXPECT_EQ(s.rows, (std::vector<std::string>{"10,0:two", "10,16:three", "10,32:a\tb"}));
  EXPECT_EQ(c.x, 10 + 72);
  EXPECT_EQ(c.y, 32);

  // With the current line as a further row, and drawing changes nothing.
  s.rows.clear();
  store.AddLine("x");
  store.TakeEvictedCount();
  std::string_view current = "cur";
  c = DrawNewestLines(store, s, 16, 48, &current);
  EXPECT_EQ(s.rows, (std::vector<std::string>{"10,0:a\tb", "10,16:x", "10,32:cur"}));
  EXPECT_EQ(c.x, 10 + 24);
  EXPECT_EQ(store.LineCount(), 5u);
  EXPECT_EQ(store.TakeEvictedCount(), 0);
}

TEST(Layout, HistoryDrawsOneRowMoreThanFits) {
  CLineStore store;
  for (int i = 0; i < 10; ++i) store.AddLine("L" + std::to_string(i));
  FakeSurface s;
  DrawFrom(store, s, 2, 10, 35);  // R = 3: four rows
  EXPECT_EQ(s.rows, (std::vector<std::string>{"10,0:L2", "10,10:L3", "10,20:L4", "10,30:L5"}));
  s.rows.clear();
  DrawFrom(store, s, 8, 10, 35);  // until the store ends
  EXPECT_EQ(s.rows, (std::vector<std::string>{"10,0:L8", "10,10:L9"}));
  s.rows.clear();
  DrawFrom(store, s, 10, 10, 35);
  DrawFrom(store, s, -1, 10, 35);
  EXPECT_TRUE(s.rows.empty());
}

}  // namespace
}  // namespace nami
