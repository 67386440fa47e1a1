#include <gtest/gtest.h>

#include <random>

#include "support/StationRig.h"
#include "text/ShiftJis.h"
#include "transfer/Transfers.h"

namespace nami {
namespace {

// A station on a bare line: the test delivers what arrives, one chunk per tick.
struct Terminal : test::StationRig {
  Terminal() : StationRig(test::BareLine()) {}
};

// Sits in the capture slot, in front of the transfers' capture, and
// records the latest line each tick end publishes to the listeners.
struct TickProbe final : IReceiveListener {
  explicit TickProbe(CNamiDoc& doc) : inner(doc.ReceiveListener(ReceiveSlot::Capture)) {
    doc.SetReceiveListener(ReceiveSlot::Capture, this);
  }
  void OnRead(std::size_t bytes) override { inner->OnRead(bytes); }
  void OnLine(std::string_view line) override { inner->OnLine(line); }
  void OnTickEnd(const ReceivedTick& tick) override {
    inner->OnTickEnd(tick);
    latest.emplace_back(tick.latestLine);
  }
  IReceiveListener* inner;
  std::vector<std::string> latest;
};

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
      {"a kanji at column 80 and its line end are one line",
       false,
       x79 + "\x8A\xBF\r\nnext",
       {x79 + "\x8A\xBF"},
       "next",
       0},
      {"80 bytes and their line end are one line", false, std::string(80, 'f') + "\r\n", {std::string(80, 'f')}, "", 0},
      {"serial yes: a full kanji line and its CR are one line", true, x79 + "\x82\xA0\r\n", {x79 + "\x82\xA0"}, "", 0},
      {"a backspace takes a full line's last kanji whole", false, x79 + "\x82\xA0\x08z\n", {x79 + "z"}, "", 0},
      {"a two-byte character at 78 fits",
       false,
       std::string(78, 'a') + "\x82\xA0" + "z",
       {std::string(78, 'a') + "\x82\xA0"},
       "z",
       0},
      {"bell, XON and XOFF leave no trace",
       false,
       "a\x07"
       "b\x11"
       "c\x13"
       "d\n",
       {"abcd"},
       "",
       1},
      {"backspace at column 0 is ignored",
       false,
       "\x08\x08"
       "ab\x08\x08\x08"
       "c",
       {},
       "c",
       0},
      {"a control byte at column 80 wraps with it",
       false,
       std::string(80, 'q') + "\x07",
       {std::string(80, 'q')},
       "\x07",
       0},
      {"tab and escape are stored", false, "a\tb\x1b[0m\n", {"a\tb\x1b[0m"}, "", 0},
  };
  for (const Case& c : cases) {
    for (const auto& chunks : Chunkings(c.input)) {
      Terminal f;
      if (c.serial) f.settings.Set(keys::Serial, "yes");
      f.Receive(chunks);
      EXPECT_EQ(f.Lines(), c.lines) << c.name << " in " << chunks.size() << " ticks";
      EXPECT_EQ(f.core.CurrentLine(), c.current) << c.name << " in " << chunks.size() << " ticks";
      EXPECT_EQ(f.ui.beeps, c.beeps) << c.name;
    }
  }

  // A long mixed stream: every chunking gives the store of the whole.
  const std::string text = RealisticText();
  Terminal whole;
  whole.Receive(text);
  ASSERT_GT(whole.doc.Lines().LineCount(), 24u);  // long lines wrapped
  for (std::size_t i = 0; i < whole.doc.Lines().LineCount(); ++i) {
    const std::string& line = whole.doc.Lines().LineAt(i);
    ASSERT_LE(line.size(), 81u);
    if (line.size() == 81) {
      EXPECT_TRUE(IsLeadByte(line[79]));
    }
  }
  for (const auto& chunks : Chunkings(text)) {
    Terminal f;
    f.Receive(chunks);
    EXPECT_EQ(f.Lines(), whole.Lines()) << chunks.size() << " ticks";
  }
}

// A return and an overwrite of a full kanji line in one tick: the old
// kanji's second byte is never stored alone at column 81.
TEST(Receive, AnOverwrittenFullKanjiLineLeavesNoHalfCharacter) {
  const std::string x79 = std::string(79, 'a');
  const struct {
    const char* name;
    std::string input;
    std::string line;
  } cases[] = {
      {"80 bytes over it", x79 + "\x82\xA0\r" + std::string(80, 'b') + "\n", std::string(80, 'b')},
      {"a kanji at 78 over it", x79 + "\x82\xA0\r" + std::string(78, 'c') + "\x8A\xBF\n",
       std::string(78, 'c') + "\x8A\xBF"},
      {"79 bytes over it keep its kanji whole", x79 + "\x82\xA0\r" + std::string(79, 'd') + "\n",
       std::string(79, 'd') + "\x82\xA0"},
  };
  for (const auto& c : cases) {
    Terminal f;
    f.Receive(std::vector<std::string>{c.input});
    EXPECT_EQ(f.Lines(), std::vector<std::string>{c.line}) << c.name;
  }
  // The overwrite in one tick, and the wrap by the next byte in the next
  // one, which resumes at the visible end (the old kanji's second byte).
  Terminal f;
  f.Receive(std::vector<std::string>{x79 + "\x82\xA0\r" + std::string(80, 'e'), "z\n"});
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{std::string(80, 'e'), "z"}));
}

TEST(Receive, ColumnResetOverwritesAndResumesAtTheVisibleEndInTheNextTick) {
  Terminal f;
  f.Receive("abcdef\rxy");
  EXPECT_EQ(f.core.CurrentLine(), "xycdef");
  f.Receive("z");  // the next tick starts at the end of the visible line
  EXPECT_EQ(f.core.CurrentLine(), "xycdefz");
  f.Receive("\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "xycdefz");

  // Within one tick the overwrite goes on.
  f.Receive("abcdef\rxyz\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "xyzdef");

  // Backspace writes a NUL, which ends the visible line.
  f.Receive("abcdef\rxy\x08");
  EXPECT_EQ(f.core.CurrentLine(), "x");
  f.Receive("\n");
  EXPECT_EQ(f.doc.Lines().LastLine(), "x");

  // A NUL byte received inside a line ends its text.
  f.Receive(std::string("ab\0cd\n", 6));
  EXPECT_EQ(f.doc.Lines().LastLine(), "ab");
}

TEST(Receive, SecondReturnAfterAShorterOverwriteKeepsTheRestOfTheLine) {
  // "abcdef", return, "xy", return, "z": the line still shows zycdef, in one
  // tick and with a tick ending before the second return.
  for (const std::vector<std::string>& chunks : std::vector<std::vector<std::string>>{
           {"abcdef\rxy\rz\n"}, {"abcdef\rxy", "\rz\n"}}) {
    Terminal f;
    f.Receive(chunks);
    EXPECT_EQ(f.Lines(), std::vector<std::string>{"zycdef"}) << chunks.size() << " ticks";
  }
}

TEST(Receive, BackspaceAfterAColumnResetDependsOnTheTickBoundary) {
  // In one tick the backspace meets column 0 and is ignored...
  Terminal one;
  one.Receive("abc\r\x08");
  EXPECT_EQ(one.core.CurrentLine(), "abc");
  // ...but a tick ending after the return resumes at the visible end, so the
  // backspace removes the last character.
  Terminal two;
  two.Receive(std::vector<std::string>{"abc\r", "\x08"});
  EXPECT_EQ(two.core.CurrentLine(), "ab");
}

TEST(Receive, SerialYesLineFeedOnlyReturnsToColumnZero) {
  Terminal f;
  f.settings.Set(keys::Serial, "yes");
  f.Receive("ABC\r\n");
  EXPECT_EQ(f.core.SavedColumn(), 0);
  EXPECT_EQ(f.core.CurrentLine(), "");
  // "serial" is read at every tick, and only "yes" makes CR the line end.
  f.settings.Set(keys::Serial, "Yes");
  f.Receive("DEF\r");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"ABC"}));
  f.Receive("\n");
  f.settings.Set(keys::Serial, "yes");
  f.Receive("GHI\r");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"ABC", "DEF", "GHI"}));
}

// An auto-mode run waits for the BBS prompt after its connect command; the
// TNC's disconnect notice ends the run unless the prompt came with it. Once
// the prompt is seen the run goes on to its list command.
TEST(Receive, DisconnectNoticeEndsTheRunOnlyWhenTheWaitTextIsAbsent) {
  struct Step {
    std::vector<std::string> ticks;
    std::string wait;  // the profile's prompt
    bool running;      // the run goes on
    bool prompt;       // the prompt was seen: the list command went out
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
      // An empty prompt waits for ">", which wins too.
      {{"*** DISCONNECTED\r\nQZ>"}, "", true, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.ticks.back() + " wait " + s.wait);
    Terminal f;
    f.settings.Set(keys::Prompt, s.wait);
    f.settings.Set(keys::Field[0], "L");
    f.pilot.Run(AutoCommand::AutoMode);
    ASSERT_EQ(f.port->TakeSent(), "\x03\rCONNECT QZ1ABC\r");
    f.Receive(s.ticks);
    EXPECT_EQ(f.pilot.Busy(), s.running);
    EXPECT_EQ(f.port->sent, s.prompt ? "L\r" : "");
    if (!s.running) {
      EXPECT_EQ(f.pilot.LastEnd().outcome, RunOutcome::ConnectFailed);
    }
  }
}

TEST(Receive, TriggersFireAtEveryTickThatBringsBytesToTheirLine) {
  Terminal f;
  f.settings.Set(keys::Event[0], "Password:");
  f.settings.Set(keys::Response[0], "secret");
  f.settings.Set(keys::Event[2], "Name?");
  f.settings.Set(keys::Response[2], "JA1XYZ");
  f.doc.OpenPort("COM1:9600,n,8,1,n");

  f.Receive("Pass");
  EXPECT_EQ(f.port->TakeSent(), "");
  f.Receive("word:");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Receive(" ");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.station.Tick();  // no bytes, no scan
  EXPECT_EQ(f.port->TakeSent(), "");
  // The completed line is scanned while the current line is empty.
  f.Receive("\r\n");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Receive("cmd:");
  EXPECT_EQ(f.port->TakeSent(), "secret\r");
  f.Receive("\r\nother");
  EXPECT_EQ(f.port->TakeSent(), "");
  // Several triggers in one tick answer in their order.
  f.Receive("\r\nName? Password:");
  EXPECT_EQ(f.port->TakeSent(), "secret\rJA1XYZ\r");
}

TEST(Receive, UpdatesDrawDirectlyUntilThePaneIsFullThenRepaintOnceThenScroll) {
  Terminal f;
  TickProbe probe(f.doc);
  f.core.SetRows(3);
  f.Receive("a\r\n");
  f.Receive("b\r\nbb");
  EXPECT_EQ(probe.latest.back(), "bb");  // a direct draw reports the current line
  f.Receive("\r\nc\r\n");                   // N = 3 = R: the first full tick repaints
  EXPECT_EQ(probe.latest.back(), "c");
  f.Receive("d\r\ne\r\nf");
  EXPECT_EQ(probe.latest.back(), "e");
  f.Receive("g");
  EXPECT_EQ(probe.latest.back(), "");
  f.station.Tick();
  EXPECT_EQ(probe.latest.size(), 5u) << "a tick without bytes has no tick end";
  EXPECT_EQ(f.ui.updates,
            (std::vector<std::string>{"draw", "draw", "all", "scroll 2", "bottom+clear"}));

  // A full pane still waiting for its repaint repaints at the next tick even
  // when no line is completed.
  Terminal g;
  g.core.SetRows(2);
  g.Receive("a\r\n");
  g.doc.Lines().AddLine("from elsewhere");
  g.Receive("x");
  g.Receive("y");
  EXPECT_EQ(g.ui.updates, (std::vector<std::string>{"draw", "all", "bottom+clear"}));
}

// The capture takes every received line while it runs; the list log takes
// them while the list step waits for the prompt.
TEST(Receive, CompletedLinesGoToCaptureAndLogWhileTheyRun) {
  Terminal f;
  const std::string capture = f.dir.File("capture.dwn");
  const std::string log = f.dir.File("log.dat");
  f.settings.Set(keys::ListFile, log);
  f.settings.Set(keys::Prompt, "BBS>");
  f.settings.Set(keys::Field[0], "L");
  CTransfers& transfers = f.station.Transfers();
  ASSERT_TRUE(transfers.StartCapture(capture));
  f.Receive("one\r\n");  // no step runs: no log
  f.pilot.Run(AutoCommand::List);
  ASSERT_TRUE(f.pilot.Busy());
  f.Receive("two\r\n");
  f.Receive("three\r\n");
  transfers.StopCapture();
  f.Receive("four\r\n" + std::string(81, 'w') + "\r\n");  // a wrapped line is a completed line too
  f.Receive("BBS>");                                        // the step ends, the log closes
  f.Receive("\r\nsix\r\n");
  EXPECT_FALSE(f.pilot.Busy());
  EXPECT_EQ(test::ReadFile(capture), "one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(test::ReadFile(log), "two\r\nthree\r\nfour\r\n" + std::string(80, 'w') + "\r\nw\r\n");
  EXPECT_TRUE(f.ui.messages.empty());
}

// Both kinds of log open at once (a step started after the port reopened
// while another waited): each line is written once for each kind, and
// ending one kind leaves the other's log open.
TEST(Receive, BothLogKindsOpenWriteEachLineOnceForEach) {
  Terminal f;
  const std::string log = f.dir.File("log.dat");
  CRunState& run = f.pilot.State();
  run.Raise(RunEvent::StepBegun);
  ASSERT_TRUE(run.OpenLog(LogKind::List, log, CTextFile::Mode::Truncate));
  f.Receive("three\r\n");
  ASSERT_TRUE(run.OpenLog(LogKind::Mail, log, CTextFile::Mode::Append));
  f.Receive("four\r\n");
  run.CloseLog(LogKind::List);
  f.Receive("five\r\n");
  run.CloseLog(LogKind::Mail);
  f.Receive("six\r\n");
  EXPECT_EQ(test::ReadFile(log), "three\r\nfour\r\nfour\r\nfive\r\n");
}

// Mail that fills the width is logged as the BBS sent it, not double-spaced.
TEST(Receive, FullLinesReachTheLogsOnceWithTheirLineEnds) {
  Terminal f;
  const std::string log = f.dir.File("list.log");
  f.settings.Set(keys::Field[0], "L");
  f.pilot.Run(AutoCommand::List);
  ASSERT_TRUE(f.pilot.Busy());
  const std::string kanji80 = std::string(79, 'a') + test::Sjis("漢");
  std::string full;
  for (int i = 0; i < 40; ++i) full += test::Sjis("全");  // 80 bytes
  f.Receive(kanji80 + "\r\n" + full + "\r\n" + "end\r\n");
  EXPECT_EQ(test::ReadFile(log), kanji80 + "\r\n" + full + "\r\nend\r\n");
}

TEST(Receive, FailedWritesAreReportedOnceAndLoseNothing) {
  Terminal f;
  f.settings.Set(keys::Prompt, "c");
  f.settings.Set(keys::Field[0], "L");
  f.settings.Set(keys::ListFile, f.dir.File("log"));
  CTransfers& transfers = f.station.Transfers();
  ASSERT_TRUE(transfers.StartCapture(f.dir.File("capture")));
  f.pilot.Run(AutoCommand::Connect);  // waits for the prompt "c"
  test::FullDisk full;
  f.Receive("a\r\nb\r\nc");
  // Every line still reaches the store, the pane and the autopilot, which
  // saw its prompt: the connect step is over.
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.core.CurrentLine(), "c");
  EXPECT_FALSE(f.pilot.Busy());
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"Cannot Write File"});
  EXPECT_TRUE(transfers.Capturing());  // the capture stays on and the next line is tried again

  // The same for the autopilot's log, reported once more for its own file.
  f.pilot.Run(AutoCommand::List);
  ASSERT_TRUE(f.pilot.Busy());
  transfers.StopCapture();
  f.Receive("\r\nd\r\ne\r\n");
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(f.ui.messages, (std::vector<std::string>{"Cannot Write File", "Cannot Write File"}));
}

TEST(Receive, ATickTakesEverythingWaitingUpToItsLimit) {
  Terminal f;
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
