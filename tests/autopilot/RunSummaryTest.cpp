// The run's summary line for each outcome and the notices it is worth.
#include <gtest/gtest.h>

#include "autopilot/RunSummary.h"

namespace nami {
namespace {

TEST(RunSummary, LineForEachOutcome) {
  struct Case {
    RunOutcome outcome;
    const char* line;
  };
  const Case cases[] = {
      {RunOutcome::Completed, "完了: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::NothingNew, "完了 (新着なし): 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::EndedByUser, "終了コマンドで中止: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::NoAnswer, "応答なし: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::BbsBusy, "BBS 使用中: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::ConnectFailed, "接続できず: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::LinkLost, "リンク断: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::PortNotOpen, "ポートが開いていない: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
      {RunOutcome::FileError, "ファイルに書けない: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05"},
  };
  for (const Case& c : cases) {
    RunSummary s;
    s.outcome = c.outcome;
    s.mailsSent = 1;
    s.listLines = 12;
    s.messagesRead = 10;
    s.toOwnCall = 2;
    s.ownCall = "QZ1XYZ";
    s.durationMs = 64600;
    EXPECT_EQ(FormatSummary(s), c.line);
  }
  RunSummary plain;  // no own call in the profile: no count for it
  plain.outcome = RunOutcome::Completed;
  plain.durationMs = 499;
  EXPECT_EQ(FormatSummary(plain), "完了: 送信 0 通, リスト 0 行, 読み出し 0 通, 0:00");
}

TEST(RunSummary, NoticesFollowTheSwitches) {
  struct Case {
    const char* name;
    RunOutcome outcome;
    int toOwnCall;
    bool scheduled, ownMail, failedRun;
    std::vector<std::string> titles;
  };
  const Case cases[] = {
      {"own mail", RunOutcome::Completed, 2, false, true, true, {"QZ1XYZ 宛のメール 2 通"}},
      {"own mail switched off", RunOutcome::Completed, 2, false, false, true, {}},
      {"nothing for us", RunOutcome::Completed, 0, true, true, true, {}},
      {"scheduled run fails", RunOutcome::BbsBusy, 0, true, true, true, {"定時の自動運用に失敗: BBS 使用中"}},
      {"failure switched off", RunOutcome::BbsBusy, 0, true, true, false, {}},
      {"a run by hand fails: the user is there", RunOutcome::LinkLost, 0, false, true, true, {}},
      {"nothing new is no failure", RunOutcome::NothingNew, 0, true, true, true, {}},
      {"both", RunOutcome::LinkLost, 1, true, true, true, {"QZ1XYZ 宛のメール 1 通", "定時の自動運用に失敗: リンク断"}},
  };
  for (const Case& c : cases) {
    RunSummary s;
    s.outcome = c.outcome;
    s.toOwnCall = c.toOwnCall;
    s.ownCall = "QZ1XYZ";
    s.scheduled = c.scheduled;
    std::vector<std::string> titles;
    for (const RunNotice& n : RunNotices(s, c.ownMail, c.failedRun)) {
      titles.push_back(n.title);
      EXPECT_EQ(n.body, FormatSummary(s)) << c.name;
    }
    EXPECT_EQ(titles, c.titles) << c.name;
  }
}

}  // namespace
}  // namespace nami
