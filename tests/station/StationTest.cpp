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
  std::vector<std::string> seen;
  h.session->OnLine = [&](const std::string& l) { seen.push_back(l); };
  h.port->Deliver("one\ntwo\n");
  EXPECT_EQ(h.session->Tick(), 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
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
