#include <optional>

#include "TransferFixture.h"
#include "terminal/TerminalCore.h"
#include "transfer/Capture.h"

namespace nami::test {
namespace {

class CaptureTest : public TransferTest {
 protected:
  CTerminalCore core{doc};
  void Receive(const std::string& bytes) { core.Receive(bytes.data(), bytes.size()); }
};

TEST_F(CaptureTest, AppendsCompletedLinesOnlyWithCrLf) {
  const std::string path = dir.File("261206.DWN");
  WriteFile(path, "old\r\n");
  ASSERT_TRUE(transfers.StartCapture(path));
  EXPECT_TRUE(transfers.Capturing());
  Receive("one\ntw");
  EXPECT_EQ(ReadFile(path), "old\r\none\r\n") << "a line is on disk as soon as it is complete";
  Receive("o\n" + std::string(85, 'x'));  // the width limit completes a line too
  Receive("\nunfinished");
  transfers.StopCapture();
  EXPECT_FALSE(transfers.Capturing());
  Receive("\nafter\n");
  EXPECT_EQ(ReadFile(path), "old\r\none\r\ntwo\r\n" + std::string(80, 'x') + "\r\nxxxxx\r\n");

  ASSERT_TRUE(transfers.StartCapture(dir.File("new.dwn")));
  transfers.CaptureStop();
  EXPECT_TRUE(FileExists(dir.File("new.dwn")));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CaptureTest, RetroDownloadWritesFromTheCursorThenGoesOn) {
  StoreLines(12);
  const std::string path = dir.File("retro.dwn");
  ASSERT_TRUE(transfers.StartCaptureFromCursor(path, 5));
  std::string expected;
  for (int i = 5; i < 12; ++i) expected += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(ReadFile(path), expected);
  Receive("new\n");
  EXPECT_EQ(ReadFile(path), expected + "new\r\n");
  transfers.StopCapture();

  for (std::int64_t cursor : {static_cast<std::int64_t>(doc.Lines().LineCount()), std::int64_t{40}}) {
    const std::string other = dir.File("past" + std::to_string(cursor));
    ASSERT_TRUE(transfers.StartCaptureFromCursor(other, cursor));
    Receive("fresh\n");
    transfers.StopCapture();
    EXPECT_EQ(ReadFile(other), "fresh\r\n");
  }
}

TEST_F(CaptureTest, ByNameIsIgnoredWhileACaptureIsOn) {
  ASSERT_TRUE(transfers.StartCapture(dir.File("a.dwn")));
  transfers.CaptureByName(dir.File("b.dwn"));
  Receive("x\n");
  transfers.CaptureStop();
  EXPECT_EQ(ReadFile(dir.File("a.dwn")), "x\r\n");
  EXPECT_FALSE(FileExists(dir.File("b.dwn")));
  transfers.CaptureByName(dir.File("b.dwn"));
  EXPECT_TRUE(transfers.Capturing());
}

TEST_F(CaptureTest, UnopenableFileLeavesTheCaptureOff) {
  EXPECT_FALSE(transfers.StartCapture(dir.File("no/such/dir.dwn")));
  EXPECT_FALSE(transfers.StartCaptureFromCursor(dir.File("no/such/dir.dwn"), 0));
  EXPECT_FALSE(transfers.Capturing());
  // The message names the file and the reason.
  const std::string why = "Cannot Open File\n" + dir.File("no/such/dir.dwn") + ": No such file or directory";
  EXPECT_EQ(ui.messages, (std::vector<std::string>{why, why}));
}

TEST_F(CaptureTest, FullDiskIsReportedAndNoReceivedLineIsLost) {
  FullDisk full;
  ASSERT_TRUE(transfers.StartCapture(dir.File("capture")));
  Receive("a\nb\nc\n");
  Receive("d\n");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Cannot Write File"}) << "told once, not per line";
  EXPECT_TRUE(transfers.Capturing()) << "the capture stays on and tries each next line";
  ASSERT_EQ(doc.Lines().LineCount(), 4u);
  EXPECT_EQ(doc.Lines().LineAt(1), "b");
  EXPECT_EQ(doc.Lines().LineAt(3), "d");
  transfers.StopCapture();

  ui.messages.clear();
  StoreLines(3);
  EXPECT_FALSE(transfers.StartCaptureFromCursor(dir.File("capture2"), 0));
  EXPECT_FALSE(transfers.Capturing()) << "a retro-download that could not write does not start";
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Cannot Write File"});
}

// The capture object tells of a failed write once, and again only after a
// write has worked in between; a capture that is off writes nothing.
TEST_F(CaptureTest, OnLineTellsOfAFailureOnceUntilAWriteWorks) {
  struct Step {
    bool full;
    const char* line;
    bool written;
    std::size_t messages;
  };
  const Step steps[] = {
      {true, "a", false, 1}, {true, "b", false, 1}, {false, "c", true, 1}, {true, "d", false, 2}, {false, "e", true, 2},
  };
  const std::string path = dir.File("told.dwn");
  CCapture capture(doc);
  ASSERT_TRUE(capture.OpenCaptureFile(path));
  for (const Step& s : steps) {
    std::optional<FullDisk> full;
    if (s.full) full.emplace();
    EXPECT_EQ(capture.OnLine(s.line), s.written) << s.line;
    EXPECT_EQ(ui.messages.size(), s.messages) << s.line;
  }
  capture.CloseCaptureFile();
  EXPECT_FALSE(capture.Capturing());
  EXPECT_FALSE(capture.OnLine("after"));
  EXPECT_EQ(ReadFile(path), "c\r\ne\r\n");
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"Cannot Write File", "Cannot Write File"}));
}

// Transfers that are gone leave no hook behind: received lines still reach
// the store and nothing more reaches the closed capture file.
TEST(CaptureLifetime, GoneTransfersLeaveTheReceiveTickAlone) {
  TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  RecordingSink ui;
  CNamiDoc doc(settings, ui);
  doc.SetPort(std::make_unique<FakePort>());
  CTerminalCore core(doc);
  const std::string path = dir.File("gone.dwn");
  {
    CManualClock clock{0};
    CTransfers gone(doc, clock);
    ASSERT_TRUE(gone.StartCapture(path));
    core.Receive("kept\n", 5);
  }
  core.Receive("later\n", 6);
  doc.OpenPort("COM1:9600,n,8,1,n");
  EXPECT_EQ(ReadFile(path), "kept\r\n");
  EXPECT_EQ(doc.Lines().LastLine(), "later");
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace nami::test
