#include "TransferFixture.h"
#include "terminal/HistoryModel.h"
#include "transfer/MarkedLines.h"

namespace nami::test {
namespace {

// The marked range is the history model's.
class MarkedLinesTest : public TransferTest {
 protected:
  CHistoryModel model{doc};
};

TEST_F(MarkedLinesTest, ClipboardTextStopsPastTheLimitWhileTheFileGetsAll) {
  for (int i = 0; i < 1000; ++i) doc.Lines().AddLine(std::string(80, static_cast<char>('A' + i % 26)));
  model.SetMarks({0, 999});
  const std::string text = model.MarkedText();
  EXPECT_EQ(text.size(), 32636u);
  EXPECT_EQ(text.size() / 82, 398u);
  EXPECT_EQ(text.substr(0, 82), std::string(80, 'A') + "\r\n");

  const std::string path = dir.File("copy.dwn");
  WriteFile(path, "old\r\n");
  ASSERT_TRUE(transfers.CopyMarkedLinesToFile(model.Marks(), path));
  const std::string file = ReadFile(path);
  ASSERT_EQ(file.size(), 5u + 1000u * 82u);
  EXPECT_EQ(file.substr(5 + 999 * 82), std::string(80, 'A' + 999 % 26) + "\r\n");
}

TEST_F(MarkedLinesTest, OneLineMissingLinesAndReversedRange) {
  StoreLines(5);
  model.SetMarks({2, 2});
  EXPECT_EQ(model.MarkedText(), "line 2\r\n");
  model.SetMarks({-3, 1});
  EXPECT_EQ(model.MarkedText(), "line 0\r\nline 1\r\n");
  model.SetMarks({3, 2147483647});
  EXPECT_EQ(model.MarkedText(), "line 3\r\nline 4\r\n");

  model.SetMarks({4, 1});
  EXPECT_EQ(model.MarkedText(), "");
  ASSERT_TRUE(transfers.CopyMarkedLinesToFile(model.Marks(), dir.File("empty.dwn")));
  EXPECT_EQ(ReadFile(dir.File("empty.dwn")), "");
}

TEST_F(MarkedLinesTest, CopyToFileFailuresAreReported) {
  StoreLines(2);
  model.SetMarks({0, 1});
  EXPECT_FALSE(transfers.CopyMarkedLinesToFile(model.Marks(), dir.File("no/dir/x")));
  {
    FullDisk full;
    EXPECT_FALSE(transfers.CopyMarkedLinesToFile(model.Marks(), dir.File("full")));
  }
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"Cannot Open File\n" + dir.File("no/dir/x") + ": No such file or directory",
                                      "Cannot Write File"}));
}

}  // namespace
}  // namespace nami::test
