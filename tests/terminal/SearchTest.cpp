#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "terminal/Search.h"

namespace nami {
namespace {

CLineStore TenLines() {
  CLineStore store;
  for (int i = 0; i < 10; ++i) store.AddLine(i == 3 || i == 7 ? "xx ABC yy" : "line " + std::to_string(i));
  return store;
}

TEST(Search, StepsByTwoAndNeverWraps) {
  CLineStore store = TenLines();
  CHistorySearch search;
  search.SetText("ABC");
  search.Reset();
  EXPECT_EQ(search.Down(store), 3);
  EXPECT_EQ(search.Down(store), 7);
  EXPECT_EQ(search.Down(store), 10);  // from 9: nothing, the end
  EXPECT_EQ(search.Up(store), 7);     // from 8
  EXPECT_EQ(search.Up(store), 3);     // from 5
  EXPECT_EQ(search.Up(store), -1);    // from 1: nothing, the start
  EXPECT_EQ(search.Down(store), 3);   // from 1
}

TEST(Search, UpRightAfterConditionStops) {
  CLineStore store = TenLines();
  CHistorySearch search;
  search.SetText("ABC");
  search.Reset();
  EXPECT_EQ(search.Up(store), std::nullopt);
  EXPECT_EQ(search.Position(), 1);
  EXPECT_EQ(search.Up(store), std::nullopt);
  EXPECT_EQ(search.Position(), 1);
}

TEST(Search, FirstTwoLinesSkippedAfterCondition) {
  CLineStore store;
  store.AddLine("ABC");
  store.AddLine("ABC");
  store.AddLine("other");
  CHistorySearch search;
  search.SetText("ABC");
  EXPECT_EQ(search.Down(store), 3);
}

TEST(Search, Containment) {
  CLineStore store;
  store.AddLine("");
  store.AddLine("ABC");
  store.AddLine(test::Sjis("ソ") + "x");  // 0x83 0x5C: a backslash only as a second byte
  store.AddLine("a\\b");
  EXPECT_EQ(SearchDown(store, 0, "abc"), 4);  // case matters
  EXPECT_EQ(SearchDown(store, 0, "\\"), 3);
  EXPECT_EQ(SearchUp(store, 2, "\\"), -1);
  // The empty text is in every non-empty line and in no empty one.
  EXPECT_EQ(SearchDown(store, 0, ""), 1);
  EXPECT_EQ(SearchUp(store, 3, ""), 3);
  EXPECT_EQ(SearchUp(store, 0, ""), -1);
  // A start that is not a line comes back unchanged.
  EXPECT_EQ(SearchDown(store, 4, "ABC"), 4);
  EXPECT_EQ(SearchDown(store, -2, "ABC"), -2);
  EXPECT_EQ(SearchUp(store, 9, "ABC"), 9);
}

}  // namespace
}  // namespace nami
