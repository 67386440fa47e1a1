// The activity's entries, its sent-text rendering and the progress text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "activity/Activity.h"
#include "terminal/NamiDoc.h"

namespace nami {
namespace {

TEST(Activity, SentTextIsShownOneLinePerCrWithControlBytesVisible) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"\x03\rCONNECT QZ1ABC\r", {"^C", "CONNECT QZ1ABC"}},
      {"\x03"
       "D\r",
       {"^CD"}},
      {"B\r", {"B"}},
      {"R 1224", {"R 1224"}},
      {"\r", {""}},
      {"A\r\rB\r", {"A", "", "B"}},
      {"\x1A\r", {"^Z"}},
      {"\x7F", {"^?"}},
      {test::Sjis("表示テスト") + "\r", {"表示テスト"}},
  };
  for (const Case& c : cases) EXPECT_EQ(VisibleSentText(c.bytes), c.lines) << c.bytes;
}

TEST(Activity, ProgressNamesTheFileBytesAndRate) {
  struct Case {
    const char* name;
    std::int64_t done, total, ms;
    const char* text;
  };
  const Case cases[] = {
      {"mail.UPL", 0, 1234, 0, "mail.UPL 0/1,234 バイト"},
      {"mail.UPL", 960, 4000, 999, "mail.UPL 960/4,000 バイト"},
      {"mail.UPL", 960, 4000, 1000, "mail.UPL 960/4,000 バイト 960 B/s"},
      {"長い名前.txt", 1500000, 2000000, 10000, "長い名前.txt 1,500,000/2,000,000 バイト 150,000 B/s"},
      {"", 12, 40, 2000, "12/40 バイト 6 B/s"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatProgress(c.name, c.done, c.total, c.ms), c.text) << c.text;
}

TEST(Activity, ListenersGetTimeStampedEntriesUntilTheyLeave) {
  CManualClock clock(1796000000);
  CActivity activity(clock);
  std::vector<std::string> a, b;
  const int first = activity.Listen([&](const ActivityEntry& e) { a.push_back(FormatActivity(e)); });
  activity.Listen([&](const ActivityEntry& e) { b.push_back(e.text); });
  activity.Add(ActivityKind::Step, "メール送信");
  clock.AdvanceMs(61000);
  activity.AddSent("B\r");
  activity.Unlisten(first);
  activity.Add(ActivityKind::Outcome, "done");
  const std::string t0 = FormatLocalTime("%H:%M:%S", 1796000000);
  const std::string t1 = FormatLocalTime("%H:%M:%S", 1796000061);
  EXPECT_EQ(a, (std::vector<std::string>{t0 + "  メール送信", t1 + "  > B"}));
  EXPECT_EQ(b, (std::vector<std::string>{"メール送信", "B", "done"}));
}

TEST(Activity, TheDocumentReportsOwnTextAndSendsItUnchanged) {
  test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  test::RecordingSink ui;
  CNamiDoc doc(settings, ui);
  auto port = std::make_unique<test::FakePort>();
  test::FakePort* fake = port.get();
  doc.SetPort(std::move(port));
  doc.OpenPort("COM2:9600,n,8,1,n");
  doc.SendOwn("L\r");  // no activity: sent all the same
  CManualClock clock;
  CActivity activity(clock);
  std::vector<std::string> seen;
  activity.Listen([&](const ActivityEntry& e) { seen.push_back(e.text); });
  doc.SetActivity(&activity);
  doc.SendOwn("R 1224\r");
  doc.SendText("typed\r");  // the user's own text is not nami's
  EXPECT_EQ(seen, std::vector<std::string>{"R 1224"});
  EXPECT_EQ(fake->sent, "L\rR 1224\rtyped\r");
}

}  // namespace
}  // namespace nami
