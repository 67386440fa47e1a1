// The run's summary line for each outcome and the notices it is worth.
#include <gtest/gtest.h>

#include "autopilot/RunSummary.h"

namespace nami {
namespace {

TEST(RunSummary, LineForEachOutcome) {
  struct Case {
    RunOutcome outcome;
    const char* detail;
    const char* line;
  };
  const char* counts = " — 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 2 通), 1:05";
  const Case cases[] = {
      {RunOutcome::Completed, "", "完了 (completed)"},
      {RunOutcome::NothingNew, "", "完了 (新着なし) (nothing new)"},
      {RunOutcome::EndedByUser, "", "終了コマンドで中止 (ended by the user)"},
      {RunOutcome::NoAnswer, "nothing received for 300 s", "応答なし (no answer): nothing received for 300 s"},
      {RunOutcome::BbsBusy, "", "BBS 使用中 (BBS busy)"},
      {RunOutcome::ConnectFailed, "", "接続できず (connect failed)"},
      {RunOutcome::LinkLost, "/dev/ttyUSB0: the device was lost (hang-up)",
       "リンク断 (link lost): /dev/ttyUSB0: the device was lost (hang-up)"},
      {RunOutcome::PortNotOpen, "/dev/ttyUSB0: No such file or directory",
       "ポートが開いていない (port not open): /dev/ttyUSB0: No such file or directory"},
      {RunOutcome::FileError, "リストのログに書き込めないため中止しました",
       "ファイルに書けない (log or settings not writable): リストのログに書き込めないため中止しました"},
  };
  for (const Case& c : cases) {
    RunSummary s;
    s.outcome = c.outcome;
    s.detail = c.detail;
    s.mailsSent = 1;
    s.listLines = 12;
    s.messagesRead = 10;
    s.toOwnCall = 2;
    s.ownCall = "QZ1XYZ";
    s.durationMs = 64600;
    EXPECT_EQ(FormatSummary(s), std::string(c.line) + counts);
  }
  RunSummary plain;  // no own call in the profile: no count for it
  plain.outcome = RunOutcome::Completed;
  plain.durationMs = 499;
  EXPECT_EQ(FormatSummary(plain), "完了 (completed) — 送信 0 通, リスト 0 行, 読み出し 0 通, 0:00");
  // The window's form names the outcome in Japanese alone, its reason kept.
  EXPECT_EQ(FormatSummary(plain, true), "完了 — 送信 0 通, リスト 0 行, 読み出し 0 通, 0:00");
  plain.outcome = RunOutcome::NoAnswer;
  plain.detail = "60 秒";
  EXPECT_EQ(FormatSummary(plain, true), "応答なし: 60 秒 — 送信 0 通, リスト 0 行, 読み出し 0 通, 0:00");
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
      EXPECT_EQ(n.body, FormatSummary(s, true)) << c.name;  // the desktop's, in Japanese
    }
    EXPECT_EQ(titles, c.titles) << c.name;
  }
}

}  // namespace
}  // namespace nami
