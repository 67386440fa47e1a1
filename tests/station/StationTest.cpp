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

TEST(Station, NewDocumentEmptiesTheStoreAndReopensThePort) {
  StationRig h(test::BareLine());  // a new document, as at the start
  h.port->Deliver("abc\r\ndef");
  h.station.Tick();
  ASSERT_EQ(h.station.Doc().LineCount(), 1u);
  h.station.NewDocument();
  EXPECT_EQ(h.station.Doc().LineCount(), 0u);
  EXPECT_EQ(h.station.Core().CurrentLine(), "");
  EXPECT_EQ(h.port->openCount, 2);
  EXPECT_EQ(h.port->lastConfig, "COM2:9600,n,8,1,n");
  EXPECT_EQ(h.station.Doc().Title(), CSettings::UntitledTitle());
}

TEST(Station, TickReportsLinesCompletedEvenInAFullStore) {
  StationRig h(test::BareLine());
  for (std::size_t i = 0; i < CLineStore::kCapacity; ++i) h.station.Doc().AddLine("x");
  std::vector<std::string> seen;
  h.station.OnLine = [&](const std::string& l) { seen.push_back(l); };
  h.port->Deliver("one\ntwo\n");
  EXPECT_EQ(h.station.Tick(), 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
}

TEST(Station, SaveAsCopiesTheProfileAndOpenRestoresTheLines) {
  StationRig h(test::BareLine());
  h.settings.Set(keys::Call, "JA1XYZ");
  h.port->Deliver("hello\n");
  h.station.Tick();
  std::string error;
  const std::string path = h.dir.File("station.nmi");
  ASSERT_TRUE(h.station.SaveDocument(path, error)) << error;
  EXPECT_EQ(h.station.Doc().Title(), "station");
  EXPECT_EQ(h.settings.Raw(keys::Call), "JA1XYZ");
  h.station.NewDocument();
  ASSERT_TRUE(h.station.OpenDocument(path, error)) << error;
  EXPECT_EQ(h.station.Doc().LastLine(), "hello");
  test::WriteFile(h.dir.File("bad.nmi"), "not a document");
  EXPECT_FALSE(h.station.OpenDocument(h.dir.File("bad.nmi"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(h.station.Doc().LastLine(), "hello") << "a bad file changes nothing";
}

}  // namespace
}  // namespace nami
