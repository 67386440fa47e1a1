#include "autopilot/RunOutcome.h"

#include <array>

namespace nami {
namespace {

// Exit statuses: 0 success, 1 a local fault (port, file, user), 2 usage, 3
// the time limit, 4 and up the far side (worth trying again later).
constexpr std::array<RunOutcomeInfo, 10> kOutcomes{{
    {RunOutcome::None, "none", "未実行", "no run", 1},
    {RunOutcome::Completed, "completed", "完了", "completed", 0},
    {RunOutcome::NothingNew, "nothing-new", "完了 (新着なし)", "nothing new", 0},
    {RunOutcome::EndedByUser, "ended-by-user", "終了コマンドで中止", "ended by the user", 1},
    {RunOutcome::NoAnswer, "no-answer", "応答なし", "no answer", 4},
    {RunOutcome::BbsBusy, "bbs-busy", "BBS 使用中", "BBS busy", 5},
    {RunOutcome::ConnectFailed, "connect-failed", "接続できず", "connect failed", 6},
    {RunOutcome::LinkLost, "link-lost", "リンク断", "link lost", 7},
    {RunOutcome::PortNotOpen, "port-not-open", "ポートが開いていない", "port not open", 1},
    {RunOutcome::FileError, "file-error", "ファイルに書けない", "log or settings not writable", 1},
}};

}  // namespace

const RunOutcomeInfo& DescribeOutcome(RunOutcome outcome) {
  for (const RunOutcomeInfo& info : kOutcomes)
    if (info.outcome == outcome) return info;
  return kOutcomes[0];
}

bool IsAborted(RunOutcome outcome) {
  return outcome != RunOutcome::None && outcome != RunOutcome::Completed && outcome != RunOutcome::NothingNew;
}

bool IsCompleted(RunOutcome outcome) { return outcome == RunOutcome::Completed || outcome == RunOutcome::NothingNew; }

std::string DescribeRunEnd(const RunEnd& end) {
  const RunOutcomeInfo& info = DescribeOutcome(end.outcome);
  std::string text = info.japanese;
  text += " (";
  text += info.english;
  text += ')';
  if (!end.detail.empty()) text += ": " + end.detail;
  return text;
}

}  // namespace nami
