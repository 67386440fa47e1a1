#include <gtest/gtest.h>

#include <random>

#include "time/Clock.h"
#include "terminal/TerminalFixture.h"
#include "text/ShiftJis.h"
#include "transfer/Transfers.h"

namespace nami {
namespace {

using test::TerminalFixture;

// The ways a byte stream can be cut into ticks: whole, one byte per tick,
// and a number of random cuts.
std::vector<std::vector<std::string>> Chunkings(const std::string& input) {
  std::vector<std::vector<std::string>> out;
  out.push_back({input});
  std::vector<std::string> single;
  for (char c : input) single.emplace_back(1, c);
  out.push_back(single);
  for (unsigned round = 1; round <= 30; ++round) {
    std::mt19937 rng(round);
    std::vector<std::string> chunks;
    std::size_t pos = 0;
    while (pos < input.size()) {
      std::size_t n = std::uniform_int_distribution<std::size_t>(1, 9)(rng);
      chunks.push_back(input.substr(pos, n));
      pos += n;
    }
    out.push_back(chunks);
  }
  return out;
}

struct Case {
  const char* name;
  bool serial;
  std::string input;
  std::vector<std::string> lines;
  std::string current;
  int beeps;
};

// A realistic stream: lines of ASCII and two-byte characters of every
// length up to well past the width, ended by CR LF.
std::string RealisticText() {
  std::mt19937 rng(7);
  std::string text;
  for (int line = 0; line < 24; ++line) {
    int length = std::uniform_int_distribution<int>(0, 200)(rng);
    for (int i = 0; i < length; ++i) {
      if (rng() % 3 == 0) {
        text += "\x82\xA0";  // a hiragana
        ++i;
      } else {
        text += static_cast<char>('A' + rng() % 26);
      }
    }
    text += "\r\n";
  }
  return text;
}

TEST(Receive, SameStoreAndCurrentLineHoweverTheBytesAreCutIntoTicks) {
  const std::string x85 = std::string(40, 'x') + std::string(40, 'y') + "12345";
  const std::string x79 = std::string(79, 'a');
  std::vector<Case> cases = {
      {"CR LF ends the line at its length before the CR", false, "ABC\r\nDEF", {"ABC"}, "DEF", 0},
      {"serial yes: CR ends the line, LF returns", true, "ABC\r\n", {"ABC"}, "", 0},
      {"85 bytes wrap at 80", false, x85, {x85.substr(0, 80)}, "12345", 0},
      {"a two-byte character at 79 gives 81", false, x79 + "\x82\xA0" + "z", {x79 + "\x82\xA0"}, "z", 0},
      {"a kanji at column 80 and its line end are one line", false, x79 + "\x8A\xBF\r\nnext", {x79 + "\x8A\xBF"},
       "next", 0},
      {"80 bytes and their line end are one line", false, std::string(80, 'f') + "\r\n", {std::string(80, 'f')}, "", 0},
      {"serial yes: a full kanji line and its CR are one line", true, x79 + "\x82\xA0\r\n", {x79 + "\x82\xA0"}, "", 0},
      {"a backspace takes a full line's last kanji whole", false, x79 + "\x82\xA0\x08z\n", {x79 + "z"}, "", 0},
      {"a two-byte character at 78 fits", false, std::string(78, 'a') + "\x82\xA0" + "z",
       {std::string(78, 'a') + "\x82\xA0"}, "z", 0},
      {"bell, XON and XOFF leave no trace", false, "a\x07" "b\x11" "c\x13" "d\n", {"abcd"}, "", 1},
      {"backspace at column 0 is ignored", false, "\x08\x08" "ab\x08\x08\x08" "c", {}, "c", 0},
      {"a control byte at column 80 wraps with it", false, std::string(80, 'q') + "\x07", {std::string(80, 'q')},
       "\x07", 0},
      {"tab and escape are stored", false, "a\tb\x1b[0m\n", {"a\tb\x1b[0m"}, "", 0},
  };
  for (const Case& c : cases) {
    for (const auto& chunks : Chunkings(c.input)) {
      TerminalFixture f;
      if (c.serial) f.settings.Set(keys::Serial, "yes");
      f.Ticks(chunks);
      EXPECT_EQ(f.Lines(), c.lines) << c.name << " in " << chunks.size() << " ticks";
      EXPECT_EQ(f.core.CurrentLine(), c.current) << c.name << " in " << chunks.size() << " ticks";
      EXPECT_EQ(f.sink.beeps, c.beeps) << c.name;
    }
  }

  // A long mixed stream: every chunking gives the store of the whole.
  const std::string text = RealisticText();
  TerminalFixture whole;
  whole.Tick(text);
  ASSERT_GT(whole.doc.Lines().LineCount(), 24u);  // long lines wrapped
  for (std::size_t i = 0; i < whole.doc.Lines().LineCount(); ++i) {
    const std::string& line = whole.doc.Lines().LineAt(i);
    ASSERT_LE(line.size(), 81u);
    if (line.size() == 81) {
      EXPECT_TRUE(IsLeadByte(line[79]));
    }
  }
  for (const auto& chunks : Chunkings(text)) {
    TerminalFixture f;
    f.Ticks(chunks);
    EXPECT_EQ(f.Lines(), whole.Lines()) << chunks.size() << " ticks";
  }
}

TEST(Receive, ColumnResetOverwritesAndResumesAtTheVisibleEndInTheNextTick) {
  TerminalFixture f;
  f.Tick("abcdef\rxy");
  EXPECT_EQ(f.core.CurrentLine(), "xycdef");
  f.Tick("z");  // the next tick starts at the end of the visible line
  EXPECT_EQ(f.core.CurrentLine(), "xycdefz");
  f.Tick("\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "xycdefz");

  // Within one tick the overwrite goes on.
  f.Tick("abcdef\rxyz\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "xyzdef");

  // Backspace writes a NUL, which ends the visible line.
  f.Tick("abcdef\rxy\x08");
  EXPECT_EQ(f.core.CurrentLine(), "x");
  f.Tick("\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "x");

  // A NUL byte received inside a line ends its text.
  f.Tick(std::string("ab\0cd\n", 6));
  EXPECT_EQ(f.doc.Lines().LastLine(), "ab");
}

TEST(Receive, SecondReturnAfterAShorterOverwriteKeepsTheRestOfTheLine) {
  // "abcdef", return, "xy", return, "z": the line still shows zycdef, in one
  // tick and with a tick ending before the second return.
  for (const std::vector<std::string>& chunks : std::vector<std::vector<std::string>>{
           {"abcdef\rxy\rz\n"}, {"abcdef\rxy", "\rz\n"}}) {
    TerminalFixture f;
    f.Ticks(chunks);
    EXPECT_EQ(f.Lines(), std::vector<std::string>{"zycdef"}) << chunks.size() << " ticks";
  }
}

TEST(Receive, BackspaceAfterAColumnResetDependsOnTheTickBoundary) {
  // In one tick the backspace meets column 0 and is ignored...
  TerminalFixture one;
  one.Tick("abc\r\x08");
  EXPECT_EQ(one.core.CurrentLine(), "abc");
  // ...but a tick ending after the return resumes at the visible end, so the
  // backspace removes the last character.
  TerminalFixture two;
  two.Ticks({"abc\r", "\x08"});
  EXPECT_EQ(two.core.CurrentLine(), "ab");
}

TEST(Receive, SerialYesLineFeedOnlyReturnsToColumnZero) {
  TerminalFixture f;
  f.settings.Set(keys::Serial, "yes");
  f.Tick("ABC\r\n");
  EXPECT_EQ(f.core.SavedColumn(), 0);
  EXPECT_EQ(f.core.CurrentLine(), "");
  // "serial" is read at every tick, and only "yes" makes CR the line end.
  f.settings.Set(keys::Serial, "Yes");
  f.Tick("DEF\r");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"ABC"}));
  f.Tick("\n");
  f.settings.Set(keys::Serial, "yes");
  f.Tick("GHI\r");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"ABC", "DEF", "GHI"}));
}

TEST(Receive, DisconnectNoticeClearsAutoRunningOnlyWhenTheWaitTextIsAbsent) {
  struct Step {
    std::vector<std::string> ticks;
    std::string wait;
    bool running;
    bool prompt;
  };
  const std::vector<Step> steps = {
      {{"*** DISCONNECTED\r\ncmd:"}, "BBS>", false, false},
      {{"*** DISCONNECTED\r\n", "cmd:"}, "BBS>", false, false},
      {{"*** DISCONNECTED\r\n"}, "BBS>", false, false},
      // A notice completed in the tick counts even when text follows it, as
      // when the TNC echoes what is still being sent after the link is lost.
      {{"*** DISCONNECTED\r\ncmd:Hello"}, "BBS>", false, false},
      {{"*** DISCONNECTED\r\ncmd:\r\n?EH\r\n"}, "BBS>", false, false},
      // The wait text in the scan text still wins.
      {{"*** DISCONNECTED\r\nQZ BBS>"}, "BBS>", true, true},
      // The wait text wins.
      {{"*** DISCONNECTED\r\ncmd:"}, "cmd:", true, true},
      // An empty wait text is in every scan text.
      {{"*** DISCONNECTED\r\n"}, "", true, true},
  };
  for (const Step& s : steps) {
    TerminalFixture f;
    f.run.WaitText = s.wait;
    f.run.AutoRunning = true;
    f.Ticks(s.ticks);
    EXPECT_EQ(f.run.AutoRunning, s.running) << s.ticks.back() << " wait " << s.wait;
    EXPECT_EQ(f.run.PromptSeen, s.prompt) << s.ticks.back() << " wait " << s.wait;
  }
}

TEST(Receive, TriggersFireAtEveryTickThatBringsBytesToTheirLine) {
  TerminalFixture f;
  f.settings.Set(keys::Event[0], "Password:");
  f.settings.Set(keys::Response[0], "secret");
  f.settings.Set(keys::Event[2], "Name?");
  f.settings.Set(keys::Response[2], "JA1XYZ");
  f.doc.OpenPort("COM1:9600,n,8,1,n");

  f.Tick("Pass");
  EXPECT_EQ(f.port->TakeSent(), "");
  f.Tick("word:");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Tick(" ");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.core.Tick();  // no bytes, no scan
  EXPECT_EQ(f.port->TakeSent(), "");
  // The completed line is scanned while the current line is empty.
  f.Tick("\r\n");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Tick("cmd:");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Tick("\r\nother");
  EXPECT_EQ(f.port->TakeSent(), "");
  // Several triggers in one tick answer in their order.
  f.Tick("\r\nName? Password:");
  EXPECT_EQ(f.port->TakeSent(), "secret\rJA1XYZ\r");
}

TEST(Receive, UpdatesDrawDirectlyUntilThePaneIsFullThenRepaintOnceThenScroll) {
  TerminalFixture f;
  f.core.SetRows(3);
  f.Tick("a\r\n");
  f.Tick("b\r\nbb");
  EXPECT_EQ(f.run.LatestLine, "bb");  // a direct draw reports the current line
  f.Tick("\r\nc\r\n");                // N = 3 = R: the first full tick repaints
  EXPECT_EQ(f.run.LatestLine, "c");
  f.Tick("d\r\ne\r\nf");
  EXPECT_EQ(f.run.LatestLine, "e");
  f.Tick("g");
  EXPECT_EQ(f.run.LatestLine, "");
  f.core.Tick();
  EXPECT_EQ(f.run.LatestLine, "");
  EXPECT_EQ(f.sink.updates,
            (std::vector<std::string>{"draw", "draw", "all", "scroll 2", "bottom+clear"}));

  // A full pane still waiting for its repaint repaints at the next tick even
  // when no line is completed.
  TerminalFixture g;
  g.core.SetRows(2);
  g.Tick("a\r\n");
  g.doc.Lines().AddLine("from elsewhere");
  g.Tick("x");
  g.Tick("y");
  EXPECT_EQ(g.sink.updates, (std::vector<std::string>{"draw", "all", "bottom+clear"}));
}

TEST(Receive, CompletedLinesGoToCaptureAndLogWhileTheirFlagsAreSet) {
  TerminalFixture f;
  const std::string capture = f.dir.File("capture.dwn");
  const std::string log = f.dir.File("log.dat");
  CManualClock clock{0};
  CTransfers transfers(f.doc, clock);
  ASSERT_TRUE(transfers.StartCapture(capture));
  ASSERT_TRUE(f.run.LogFile.Open(log, CTextFile::Mode::Truncate));
  f.Tick("one\r\n");
  f.run.ListReading = true;  // AutoIdle is still 1: no log
  f.Tick("two\r\n");
  f.run.AutoIdle = false;
  f.Tick("three\r\n");
  f.run.MailReading = true;  // both flags: written twice
  f.Tick("four\r\n");
  transfers.StopCapture();
  f.run.ListReading = false;
  f.Tick("five\r\n" + std::string(81, 'w'));  // a wrapped line is a completed line too
  f.run.MailReading = false;
  f.Tick("six\r\n");
  EXPECT_EQ(test::ReadFile(capture), "one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_EQ(test::ReadFile(log), "three\r\nfour\r\nfour\r\nfive\r\n" + std::string(80, 'w') + "\r\n");
  EXPECT_TRUE(f.sink.messages.empty());
}

// Mail that fills the width is logged as the BBS sent it, not double-spaced.
TEST(Receive, FullLinesReachTheLogsOnceWithTheirLineEnds) {
  TerminalFixture f;
  const std::string log = f.dir.File("mail.log");
  ASSERT_TRUE(f.run.LogFile.Open(log, CTextFile::Mode::Append));
  f.run.MailReading = true;
  f.run.AutoIdle = false;
  const std::string kanji80 = std::string(79, 'a') + test::Sjis("漢");
  std::string full;
  for (int i = 0; i < 40; ++i) full += test::Sjis("全");  // 80 bytes
  f.Tick(kanji80 + "\r\n" + full + "\r\n" + "end\r\n");
  EXPECT_EQ(test::ReadFile(log), kanji80 + "\r\n" + full + "\r\nend\r\n");
}

TEST(Receive, FailedWritesAreReportedOnceAndLoseNothing) {
  TerminalFixture f;
  test::TempDir dir;
  test::FullDisk full;
  CManualClock clock{0};
  CTransfers transfers(f.doc, clock);
  ASSERT_TRUE(transfers.StartCapture(dir.File("capture")));
  f.run.WaitText = "c";
  f.Tick("a\r\nb\r\nc");
  // Every line still reaches the store, the pane and the autopilot.
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.core.CurrentLine(), "c");
  EXPECT_TRUE(f.run.PromptSeen);
  EXPECT_EQ(f.sink.messages, std::vector<std::string>{"Cannot Write File"});
  EXPECT_TRUE(transfers.Capturing());  // the capture stays on and the next line is tried again

  // The same for the autopilot's log, reported once more for its own file.
  ASSERT_TRUE(f.run.LogFile.Open(dir.File("log"), CTextFile::Mode::Append));
  transfers.StopCapture();
  f.run.ListReading = true;
  f.run.AutoIdle = false;
  f.Tick("\r\nd\r\ne\r\n");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(f.sink.messages, (std::vector<std::string>{"Cannot Write File", "Cannot Write File"}));
}

TEST(Receive, ATickTakesEverythingWaitingUpToItsLimit) {
  TerminalFixture f;
  f.core.SetRows(10);
  // 300 lines of 79 bytes and a line end: 24,000 bytes waiting at once.
  std::string flood;
  for (int i = 0; i < 300; ++i) flood += std::string(79, static_cast<char>('a' + i % 26)) + "\n";
  f.port->Deliver(flood);
  EXPECT_EQ(f.core.Tick(), flood.size());
  EXPECT_EQ(f.doc.Lines().LineCount(), 300u);
  // More than a tick's limit is left for the next tick, not lost.
  std::string more;
  while (more.size() < CTerminalCore::kMaxPerTick + 1000) more += std::string(79, 'z') + "\n";
  f.port->Deliver(more);
  const std::size_t first = f.core.Tick();
  EXPECT_LE(first, CTerminalCore::kMaxPerTick);
  EXPECT_EQ(first + f.core.Tick(), more.size());
  EXPECT_EQ(f.doc.Lines().LineCount(), 300u + more.size() / 80);
}

}  // namespace
}  // namespace nami
