#include "TransferFixture.h"
#include "transfer/MarkedLines.h"

namespace nami::test {
namespace {

using MarkedLinesTest = TransferTest;

TEST_F(MarkedLinesTest, ClipboardTextStopsPastTheLimitWhileTheFileGetsAll) {
  for (int i = 0; i < 1000; ++i) doc.AddLine(std::string(80, static_cast<char>('A' + i % 26)));
  doc.MarkFirst = 0;
  doc.MarkLast = 999;
  const std::string text = transfers.MarkedText();
  EXPECT_EQ(text.size(), 32636u);
  EXPECT_EQ(text.size() / 82, 398u);
  EXPECT_EQ(text.substr(0, 82), std::string(80, 'A') + "\r\n");

  const std::string path = dir.File("copy.dwn");
  WriteFile(path, "old\r\n");
  ASSERT_TRUE(transfers.CopyMarkedLinesToFile(path));
  const std::string file = ReadFile(path);
  ASSERT_EQ(file.size(), 5u + 1000u * 82u);
  EXPECT_EQ(file.substr(5 + 999 * 82), std::string(80, 'A' + 999 % 26) + "\r\n");
}

TEST_F(MarkedLinesTest, OneLineMissingLinesAndReversedRange) {
  StoreLines(5);
  doc.MarkFirst = doc.MarkLast = 2;
  EXPECT_EQ(transfers.MarkedText(), "line 2\r\n");
  doc.MarkFirst = -3;
  doc.MarkLast = 1;
  EXPECT_EQ(transfers.MarkedText(), "line 0\r\nline 1\r\n");
  doc.MarkFirst = 3;
  doc.MarkLast = 2147483647;
  EXPECT_EQ(transfers.MarkedText(), "line 3\r\nline 4\r\n");

  doc.MarkFirst = 4;
  doc.MarkLast = 1;
  EXPECT_EQ(transfers.MarkedText(), "");
  ASSERT_TRUE(transfers.CopyMarkedLinesToFile(dir.File("empty.dwn")));
  EXPECT_EQ(ReadFile(dir.File("empty.dwn")), "");
}

TEST_F(MarkedLinesTest, CopyToFileFailuresAreReported) {
  StoreLines(2);
  doc.MarkLast = 1;
  EXPECT_FALSE(transfers.CopyMarkedLinesToFile(dir.File("no/dir/x")));
  {
    FullDisk full;
    EXPECT_FALSE(transfers.CopyMarkedLinesToFile(dir.File("full")));
  }
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"Cannot Open File\n" + dir.File("no/dir/x") + ": No such file or directory",
                                      "Cannot Write File"}));
}

}  // namespace
}  // namespace nami::test
