#include <functional>

#include "TransferFixture.h"
#include "transfer/PasteSender.h"

namespace nami::test {
namespace {

using PasteSendTest = TransferTest;

TEST_F(PasteSendTest, GroupsOfThreeEachAfterTheQueueEmpties) {
  EXPECT_EQ(transfers.StartPasteSend(0, "ab\r\ncd"), 0u);
  EXPECT_TRUE(transfers.PasteSending());
  port->queueCount = 1;
  doc.Sending().Step();
  EXPECT_TRUE(port->writes.empty());
  RunSenders(2);
  EXPECT_EQ(port->writeCount, 2);
  port->writes.clear();
  EXPECT_FALSE(transfers.PasteSending());
}

TEST_F(PasteSendTest, WritesAreTheGroups) {
  transfers.StartPasteSend(1, "ab\r\ncd");
  doc.Sending().Step();
  EXPECT_EQ(port->writes, std::vector<std::string>{"ab\r"});
  doc.Sending().Step();
  EXPECT_EQ(port->writes, (std::vector<std::string>{"ab\r", "cd"}));
  EXPECT_TRUE(doc.Sending().Idle());
}

TEST_F(PasteSendTest, EveryLineEndGoesOutAsOneCr) {
  const struct {
    const char* name;
    std::string clipboard;
    std::string sent;
  } cases[] = {
      {"LF only (Linux programs)", "L 10\nR 12\n", "L 10\rR 12\r"},
      {"CR LF", "L 10\r\nR 12\r\n", "L 10\rR 12\r"},
      {"lone CR", "L 10\rR 12", "L 10\rR 12"},
      {"mixed, empty lines kept", "a\n\nb\r\r\nc\n\r", "a\r\rb\r\rc\r\r"},
      {"Japanese text", Sjis("東京\n江東\n"), Sjis("東京\r江東\r")},
  };
  for (const auto& c : cases) {
    transfers.StartPasteSend(0, c.clipboard);
    EXPECT_EQ(RunSenders(), c.sent) << c.name;
  }
}

TEST_F(PasteSendTest, LongTextIsCutAtTheBufferAndAtACharacterStart) {
  std::string text(40000, 'q');
  EXPECT_EQ(transfers.StartPasteSend(0, text), 40000u - 32767u);
  EXPECT_EQ(RunSenders().size(), 32767u);

  // A two-byte character across the cut is left out whole.
  std::string sjis(32766, 'a');
  sjis += Sjis("あ") + "zz";
  EXPECT_EQ(transfers.StartPasteSend(0, sjis), 4u);
  EXPECT_EQ(RunSenders(), std::string(32766, 'a'));
}

TEST_F(PasteSendTest, EmptyTextSendsNothingAndStopEndsAtOnce) {
  EXPECT_EQ(transfers.StartPasteSend(0, ""), 0u);
  EXPECT_FALSE(transfers.PasteSending());
  EXPECT_TRUE(doc.Sending().Idle());

  transfers.StartPasteSend(1, "0123456789");
  doc.Sending().Step();
  transfers.StopPasteSend();
  EXPECT_FALSE(transfers.PasteSending());
  EXPECT_EQ(RunSenders(), "012");
  EXPECT_EQ(transfers.StartPasteSend(0, "xy"), 0u);
  EXPECT_EQ(RunSenders(), "xy");
}

TEST_F(PasteSendTest, SecondPasteWhileOneRunsIsIgnored) {
  transfers.StartPasteSend(0, "abcdef");
  transfers.StartPasteSend(1, "XYZ");
  EXPECT_EQ(RunSenders(), "abcdef");
}

// The send engine keeps the order nesting gave: the newest sender holds
// the older ones until it has ended.
TEST_F(PasteSendTest, PasteDuringUploadHoldsTheUploadUntilItEnds) {
  WriteFile(dir.File("u.upl"), "UPLOAD\r\n");
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  doc.Sending().Step();
  doc.Sending().Step();
  transfers.StartPasteSend(1, "paste\r\n");
  EXPECT_TRUE(transfers.Uploading());
  EXPECT_EQ(transfers.ProgressText(), "ペースト送信中 0/6 バイト  アップロード中 2/8 バイト");
  EXPECT_EQ(RunSenders(4), "UPpaste\rLOAD\r");
  EXPECT_FALSE(transfers.Uploading());
  EXPECT_FALSE(transfers.PasteSending());

  // Stopping the held upload leaves the paste-send running.
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  transfers.StartPasteSend(0, "abcd");
  transfers.StopUpload();
  EXPECT_EQ(RunSenders(), "abcd");
}

TEST_F(PasteSendTest, ReinitialiseEndsEverythingAndClosesFiles) {
  WriteFile(dir.File("u.upl"), "0123456789");
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  ASSERT_TRUE(transfers.StartCapture(dir.File("cap.dwn")));
  transfers.StartPasteSend(0, "abcdef");
  doc.Sending().Step();
  transfers.Reinitialise();
  doc.OpenPortFromProfile();
  EXPECT_FALSE(transfers.Uploading() || transfers.Capturing() || transfers.PasteSending());
  EXPECT_TRUE(doc.Sending().Idle());
  EXPECT_FALSE(transfers.Capturing());
  EXPECT_EQ(RunSenders(), "abc");
  // The files can be started again at once.
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  EXPECT_EQ(RunSenders(), "0123456789");
}

// Reopening the port clears the flags; no file may stay open behind them.
TEST_F(PasteSendTest, ReopeningThePortAloneLeavesNoFileOpen) {
  WriteFile(dir.File("u.upl"), "0123456789");
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  ASSERT_TRUE(transfers.StartCapture(dir.File("cap.dwn")));
  doc.Sending().Step();
  EXPECT_EQ(port->TakeSent(), "0");
  doc.OpenPortFromProfile();
  EXPECT_FALSE(transfers.Capturing());
  EXPECT_EQ(RunSenders(), "") << "the upload ends at its next step";
  EXPECT_TRUE(doc.Sending().Idle());
  ASSERT_TRUE(transfers.StartUpload(dir.File("u.upl")));
  EXPECT_EQ(RunSenders(), "0123456789");
}

// Each transfer owns whether it runs; reopening the port ends each one on
// its own, and each can be started again at once.
TEST_F(PasteSendTest, ReopeningThePortEndsEachTransfer) {
  WriteFile(dir.File("u.upl"), "0123456789");
  struct Case {
    const char* name;
    std::function<bool()> start;
    std::function<bool()> running;
  };
  const Case cases[] = {
      {"upload", [&] { return transfers.StartUpload(dir.File("u.upl")); }, [&] { return transfers.Uploading(); }},
      {"capture", [&] { return transfers.StartCapture(dir.File("c.dwn")); }, [&] { return transfers.Capturing(); }},
      {"paste-send", [&] { return transfers.StartPasteSend(0, "abcdef") == 0; },
       [&] { return transfers.PasteSending(); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.start()) << c.name;
    ASSERT_TRUE(c.running()) << c.name;
    doc.Sending().Step();
    port->TakeSent();
    doc.OpenPortFromProfile();
    EXPECT_FALSE(c.running()) << c.name;
    EXPECT_TRUE(doc.Sending().Idle()) << c.name;
    EXPECT_EQ(RunSenders(), "") << c.name;
    EXPECT_TRUE(c.start()) << c.name << " starts again";
    transfers.Reinitialise();
  }
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace nami::test
