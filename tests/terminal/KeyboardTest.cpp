#include <gtest/gtest.h>

#include "support/StationRig.h"
#include "transfer/Transfers.h"

namespace nami {
namespace {

// A station on a bare line: the test delivers what arrives, one chunk per tick.
struct Terminal : test::StationRig {
  Terminal() : StationRig(test::BareLine()) {}
};

void Type(Terminal& f, const std::string& keys) {
  for (char c : keys) f.core.Key(static_cast<unsigned char>(c));
}

TEST(Keyboard, EchoesOnlyWhenEchoIsExactlyEnable) {
  for (const char* value : {"", "Enable", "enable ", "yes"}) {
    Terminal f;
    f.settings.Set(keys::Echo, value);
    Type(f, "ab\r");
    EXPECT_EQ(f.core.CurrentLine(), "") << value;
    EXPECT_EQ(f.doc.Lines().LineCount(), 0u) << value;
    EXPECT_TRUE(f.ui.updates.empty()) << value;
    EXPECT_EQ(f.port->writes, (std::vector<std::string>{"a", "b", "\r"})) << value;
  }
}

TEST(Keyboard, EchoBuildsLinesLikeTheTerminalAndSendsEveryByte) {
  Terminal f;
  f.settings.Set(keys::Echo, "enable");
  f.core.SetRows(2);
  Type(f, "ab\x08");
  EXPECT_EQ(f.core.CurrentLine(), "a");
  Type(f, "\n");  // a line feed changes nothing
  EXPECT_EQ(f.core.CurrentLine(), "a");
  Type(f, "c\r");
  EXPECT_EQ(f.doc.Lines().LastLine(), "ac");
  EXPECT_EQ(f.core.CurrentLine(), "");
  EXPECT_EQ(f.port->sent, "ab\x08\nc\r");
  EXPECT_EQ(f.port->writes.size(), 6u);  // one write per key

  // 81 typed characters: an 80-byte line and the 81st as the current line.
  const std::string typed = std::string(80, 'k') + "L";
  Type(f, typed);
  EXPECT_EQ(f.doc.Lines().LastLine(), std::string(80, 'k'));
  EXPECT_EQ(f.core.CurrentLine(), "L");
  // A two-byte character typed across the width stays whole; the full line
  // and the return after it are one line.
  Type(f, "\r" + std::string(79, 'm') + "\x82\xA0");
  EXPECT_EQ(f.core.CurrentLine(), std::string(79, 'm') + "\x82\xA0");
  const std::size_t before = f.doc.Lines().LineCount();
  Type(f, "\r");
  EXPECT_EQ(f.doc.Lines().LineCount(), before + 1);
  EXPECT_EQ(f.doc.Lines().LastLine(), std::string(79, 'm') + "\x82\xA0");
  EXPECT_EQ(f.core.CurrentLine(), "");
  // Bell and XON typed are shown in caret notation (not rung, not dropped).
  Type(f, "\x07\x11");
  EXPECT_EQ(f.core.CurrentLine(), "^G^Q");
  EXPECT_EQ(f.ui.beeps, 0);

  // Before the pane is full each key draws directly; afterwards a completed
  // line repaints the pane and a growing line redraws the bottom row only.
  EXPECT_EQ(f.ui.updates.front(), "draw");
  f.ui.updates.clear();
  Type(f, "x\r");
  EXPECT_EQ(f.ui.updates, (std::vector<std::string>{"bottom", "all"}));
  // Typed lines never reach the capture file; received ones do.
  CTransfers& transfers = f.station.Transfers();
  const std::string capture = f.dir.File("typed.dwn");
  ASSERT_TRUE(transfers.StartCapture(capture));
  Type(f, "typed\r");
  f.Receive("heard\r\n");
  EXPECT_EQ(test::ReadFile(capture), "heard\r\n");
}

TEST(Keyboard, EnterAfterAReceivedReturnDoesNotBringOldTextBack) {
  Terminal f;
  f.settings.Set(keys::Echo, "enable");
  f.Receive("abcdef\r");  // the line is shown, the column is back at 0
  Type(f, "x\r");       // typed at the end of the visible line
  EXPECT_EQ(f.doc.Lines().LastLine(), "abcdefx");
  f.Receive("y\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "y");
}

TEST(Keyboard, TypingWithoutAPortStillEchoes) {
  Terminal f;
  f.settings.Set(keys::Echo, "enable");
  f.doc.SetPort(nullptr);
  Type(f, "hi");
  EXPECT_EQ(f.core.CurrentLine(), "hi");
}

}  // namespace
}  // namespace nami
