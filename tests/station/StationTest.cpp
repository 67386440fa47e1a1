// The station without any window: its document handling and its tick.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "station/Station.h"
#include "support/StationRig.h"

namespace nami {
namespace {

using test::StationRig;

// A shell that records what the station tells it.
struct Recorder final : IStationEvents {
  void ShowMessage(const std::string& text) override { heard.push_back("message " + text); }
  void Beep() override {}
  void LineReceived(std::string_view line) override { lines.emplace_back(line); }
  void LinesAdded(int count) override { added += count; }
  void RunStarted() override { heard.push_back("started"); }
  void RunEnded(const RunEnd& end, const RunSummary&) override {
    heard.push_back(std::string("ended ") + DescribeOutcome(end.outcome).english);
  }
  void PortChanged() override { heard.push_back("port"); }
  std::vector<std::string> heard;
  std::vector<std::string> lines;
  int added = 0;
};

TEST(Station, NewDocumentEmptiesTheStoreAndReopensThePort) {
  StationRig h(test::BareLine());  // a new document, as at the start
  h.port->Deliver("abc\r\ndef");
  h.station.Tick();
  ASSERT_EQ(h.station.Doc().Lines().LineCount(), 1u);
  h.station.NewDocument();
  EXPECT_EQ(h.station.Doc().Lines().LineCount(), 0u);
  EXPECT_EQ(h.station.Core().CurrentLine(), "");
  EXPECT_EQ(h.port->openCount, 2);
  EXPECT_EQ(h.port->lastConfig, "COM2:9600,n,8,1,n");
  EXPECT_EQ(h.station.Doc().Title(), CSettings::UntitledTitle());
}

// The built-in TNC2 (here the simulator, as "sim:" in [Devices]) and the
// terminal's local echo: whichever is set, a typed command shows once, and
// the demo starts on the simulator and names it whatever an earlier run set.
TEST(Station, ATypedCommandIsShownOnceWithLocalEchoOnOrOff) {
  struct Case {
    bool demo;
    const char* echo;
  } cases[] = {{false, "disable"}, {false, "enable"}, {true, ""}};
  for (const Case& c : cases) {
    test::TempDir dir;
    CSettings settings(dir.File("NAMI.INI"));
    CManualClock clock(1796000000);
    settings.SetDevicePath("COM2", c.demo ? "agw://localhost:1" : "sim:");
    if (*c.echo) settings.Set(keys::Echo, c.echo);
    CStation station(settings, clock, c.demo);
    station.NewDocument();
    auto run = [&] {
      for (int i = 0; i < 20; ++i) {
        clock.AdvanceMs(50);
        station.Doc().Sending().Run();
        station.Tick();
      }
    };
    run();
    ASSERT_EQ(station.Core().CurrentLine(), "cmd:") << c.echo;
    station.TypeText("MYCALL");
    run();
    EXPECT_EQ(station.Core().CurrentLine(), "cmd:MYCALL") << c.demo << c.echo;
    EXPECT_EQ(station.PortName(), "シミュレーター");
    // Switched to another link, the demo's status bar names that one.
    settings.SetDevicePath("COM2", "agw://localhost:1");
    station.ReopenPort();
    EXPECT_EQ(station.PortName(), "agw://localhost:1");
  }
}

TEST(Station, TickReportsLinesCompletedEvenInAFullStore) {
  StationRig h(test::BareLine());
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) h.station.Doc().Lines().AddLine("x");
  Recorder shell;
  h.station.SetEvents(&shell);
  h.port->Deliver("one\ntwo\n");
  EXPECT_EQ(h.station.Tick(), 2);
  EXPECT_EQ(shell.lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(shell.added, 2);
  h.station.SetEvents(&h.ui);
}

// The shell hears of a run once when it starts and once when it ends,
// whatever ends it, and of each change of the port.
TEST(Station, TellsItsShellOfEachRunAndOfThePort) {
  const struct {
    const char* name;
    bool portFails;
    bool vanish;  // the device goes while the run waits
    std::vector<std::string> heard;
  } cases[] = {
      {"refused without a port", true, false,
       {"message ＣＯＭﾎﾟｰﾄを再設定し再度実行して下さい", "port", "ended port not open"}},
      {"lost with the device", false, true,
       {"port", "started", "message link lost: gone", "ended link lost", "port"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StationRig h(test::BareLine());
    Recorder shell;
    h.station.SetEvents(&shell);
    h.port->failOpen = c.portFails;
    h.station.NewDocument();
    h.station.Run(AutoCommand::AutoMode);
    EXPECT_EQ(h.station.Busy(), !c.portFails);
    EXPECT_EQ(h.station.CanRun(AutoCommand::Connect), c.portFails);
    h.station.Tick();
    h.station.Tick();
    if (c.vanish) {
      h.port->Vanish("gone");
      h.station.Tick();
    }
    EXPECT_FALSE(h.station.Busy());
    EXPECT_EQ(shell.heard, c.heard);
    h.station.SetEvents(&h.ui);
  }
}

TEST(Station, SaveAsCopiesTheProfileAndOpenRestoresTheLines) {
  StationRig h(test::BareLine());
  h.settings.Set(keys::Call, "JA1XYZ");
  h.port->Deliver("hello\n");
  h.station.Tick();
  FileFault error;
  const std::string path = h.dir.File("station.nmi");
  ASSERT_TRUE(h.station.SaveDocument(path, error)) << error;
  EXPECT_EQ(h.station.Doc().Title(), "station");
  EXPECT_EQ(h.settings.Raw(keys::Call), "JA1XYZ");
  h.station.NewDocument();
  ASSERT_TRUE(h.station.OpenDocument(path, error)) << error;
  EXPECT_EQ(h.station.Doc().Lines().LastLine(), "hello");
  test::WriteFile(h.dir.File("bad.nmi"), "not a document");
  EXPECT_FALSE(h.station.OpenDocument(h.dir.File("bad.nmi"), error));
  EXPECT_EQ(error.kind, FileFaultKind::Corrupt);
  EXPECT_EQ(error.damage, DocumentDamage::NotCompound);
  EXPECT_EQ(h.station.Doc().Lines().LastLine(), "hello") << "a bad file changes nothing";
}

}  // namespace
}  // namespace nami
