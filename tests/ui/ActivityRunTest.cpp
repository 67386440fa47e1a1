// The activity of a whole demo run through the session, against the
// in-process simulator with a manual clock: every step and every text nami
// sent on its own, in order, and the summary at the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/StationRig.h"

namespace nami {
namespace {

// The demo station (its profile and its queued mail) on the simulator, with
// every activity entry recorded; sent texts start with "> ".
struct DemoSession : test::StationRig {
  explicit DemoSession(sim::STncOptions tnc = {}) : StationRig(std::move(tnc)) {
    PrepareDemoStation(settings);
    station.Activity().Listen([this](const ActivityEntry& e) {
      lines.push_back(std::string(e.kind == ActivityKind::Sent ? "> " : "") + e.text);
    });
  }
  std::vector<std::string> lines;
};

TEST(ActivityRun, AWholeDemoRunIsReportedStepByStep) {
  DemoSession d;
  d.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(d.RunUntilIdle());
  // The list holds 1221 .. 1230 and the demo's own mail, 1231 (1227 is not
  // listed to this user); 1224 is addressed to the demo's call QZ1XYZ.
  const std::vector<std::string> expected = {
      "自動モード開始",
      "相手局に接続: QZ1ABC",
      "> ^C",
      "> CONNECT QZ1ABC",
      "メール送信",
      "メールファイル demo-mail.UPL (64 バイト)",
      "リスト読み出し",
      "> L",
      "メール読み出し",
      "> R 1221",
      "> R 1222",
      "> R 1223",
      "> R 1224",
      "> R 1225",
      "> R 1226",
      "> R 1228",
      "> R 1229",
      "> R 1230",
      "> R 1231",
      "ログオフ",
      "> B",
      "> ^CD",
      "完了 (completed) — 送信 1 通, リスト 33 行, 読み出し 10 通 (QZ1XYZ 宛 1 通), 0:06",
  };
  EXPECT_EQ(d.lines, expected);
  const RunSummary& s = d.pilot.LastSummary();
  EXPECT_EQ(s.outcome, RunOutcome::Completed);
  EXPECT_FALSE(s.scheduled);
  d.RunFor(3000);
  EXPECT_EQ(d.station.Link().Phase(), LinkPhase::Disconnected);

  // The second run finds nothing: no mail queued, nothing above 1231.
  d.lines.clear();
  d.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(d.RunUntilIdle());
  ASSERT_GE(d.lines.size(), 6u);
  EXPECT_EQ(d.lines[4], "メール送信");
  EXPECT_EQ(d.lines[5], "送信待ちのメールはありません");
  EXPECT_EQ(d.pilot.LastSummary().outcome, RunOutcome::NothingNew);
  EXPECT_EQ(d.lines.back().rfind("完了 (新着なし) (nothing new) — 送信 0 通, ", 0), 0u) << d.lines.back();
}

TEST(ActivityRun, EachWayARunEndsHasItsOutcome) {
  struct Case {
    const char* name;
    sim::LinkFailure failure;
    int dropAfter;
    bool endCommand;
    RunOutcome outcome;
  };
  const Case cases[] = {
      {"busy", sim::LinkFailure::Busy, 0, false, RunOutcome::BbsBusy},
      {"no connection", sim::LinkFailure::Connect, 0, false, RunOutcome::ConnectFailed},
      {"link lost mid-run", sim::LinkFailure::DropAfter, 12, false, RunOutcome::LinkLost},
      {"ended by the user", sim::LinkFailure::None, 0, true, RunOutcome::EndedByUser},
  };
  for (const Case& c : cases) {
    sim::STncOptions tnc;
    tnc.failure = c.failure;
    tnc.dropAfterLines = c.dropAfter;
    DemoSession d(tnc);
    d.pilot.Run(AutoCommand::AutoMode);
    if (c.endCommand) {
      d.RunFor(3000);  // connected, listing
      d.pilot.Run(AutoCommand::End);
    }
    ASSERT_TRUE(d.RunUntilIdle()) << c.name;
    EXPECT_EQ(d.pilot.LastSummary().outcome, c.outcome) << c.name;
    ASSERT_FALSE(d.lines.empty());
    EXPECT_EQ(d.lines.back().rfind(DescribeOutcome(c.outcome).japanese, 0), 0u) << c.name << ": " << d.lines.back();
  }
}

}  // namespace
}  // namespace nami
