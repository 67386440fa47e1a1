// The station without any window: its document handling and its tick.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "station/Station.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

using test::TempDir;

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

struct StationRig {
  StationRig() {
    settings = std::make_unique<CSettings>(dir.File("NAMI.INI"));
    session = std::make_unique<CStation>(*settings, clock, false);
    auto fake = std::make_unique<test::FakePort>();
    port = fake.get();
    session->SetPort(std::move(fake));
  }
  TempDir dir;
  CManualClock clock{1796000000};
  std::unique_ptr<CSettings> settings;
  std::unique_ptr<CStation> session;
  test::FakePort* port;
};

TEST(Station, NewDocumentEmptiesTheStoreAndReopensThePort) {
  StationRig h;
  h.session->NewDocument();
  h.port->Deliver("abc\r\ndef");
  h.session->Tick();
  ASSERT_EQ(h.session->Doc().Lines().LineCount(), 1u);
  h.session->NewDocument();
  EXPECT_EQ(h.session->Doc().Lines().LineCount(), 0u);
  EXPECT_EQ(h.session->Core().CurrentLine(), "");
  EXPECT_EQ(h.port->openCount, 2);
  EXPECT_EQ(h.port->lastConfig, "COM2:9600,n,8,1,n");
  EXPECT_EQ(h.session->Doc().Title(), CSettings::UntitledTitle());
}

TEST(Station, TickReportsLinesCompletedEvenInAFullStore) {
  StationRig h;
  h.session->NewDocument();
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) h.session->Doc().Lines().AddLine("x");
  Recorder shell;
  h.session->SetEvents(&shell);
  h.port->Deliver("one\ntwo\n");
  EXPECT_EQ(h.session->Tick(), 2);
  EXPECT_EQ(shell.lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(shell.added, 2);
  h.session->SetEvents(nullptr);
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
    StationRig h;
    Recorder shell;
    h.session->SetEvents(&shell);
    h.port->failOpen = c.portFails;
    h.session->NewDocument();
    h.session->Run(AutoCommand::AutoMode);
    EXPECT_EQ(h.session->Busy(), !c.portFails);
    EXPECT_EQ(h.session->CanRun(AutoCommand::Connect), c.portFails);
    h.session->Tick();
    h.session->Tick();
    if (c.vanish) {
      h.port->Vanish("gone");
      h.session->Tick();
    }
    EXPECT_FALSE(h.session->Busy());
    EXPECT_EQ(shell.heard, c.heard);
    h.session->SetEvents(nullptr);
  }
}

TEST(Station, SaveAsCopiesTheProfileAndOpenRestoresTheLines) {
  StationRig h;
  h.session->NewDocument();
  h.settings->Set(keys::Call, "JA1XYZ");
  h.port->Deliver("hello\n");
  h.session->Tick();
  FileFault error;
  const std::string path = h.dir.File("station.nmi");
  ASSERT_TRUE(h.session->SaveDocument(path, error)) << error;
  EXPECT_EQ(h.session->Doc().Title(), "station");
  EXPECT_EQ(h.settings->Raw(keys::Call), "JA1XYZ");
  h.session->NewDocument();
  ASSERT_TRUE(h.session->OpenDocument(path, error)) << error;
  EXPECT_EQ(h.session->Doc().Lines().LastLine(), "hello");
  test::WriteFile(h.dir.File("bad.nmi"), "not a document");
  EXPECT_FALSE(h.session->OpenDocument(h.dir.File("bad.nmi"), error));
  EXPECT_EQ(error.kind, FileFaultKind::Corrupt);
  EXPECT_EQ(error.damage, DocumentDamage::NotCompound);
  EXPECT_EQ(h.session->Doc().Lines().LastLine(), "hello") << "a bad file changes nothing";
}

}  // namespace
}  // namespace nami
