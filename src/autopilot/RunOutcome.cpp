#include "autopilot/RunOutcome.h"

#include <cstdio>

namespace nami {

const char* OutcomeText(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Completed:
      return "完了";
    case RunOutcome::NothingNew:
      return "完了 (新着なし)";
    case RunOutcome::EndedByUser:
      return "終了コマンドで中止";
    case RunOutcome::NoAnswer:
      return "応答なし";
    case RunOutcome::BbsBusy:
      return "BBS 話中";
    case RunOutcome::ConnectFailed:
      return "接続失敗";
    case RunOutcome::LinkLost:
      return "接続断";
    case RunOutcome::PortNotOpen:
      return "ポート未接続";
    case RunOutcome::NotWritable:
      return "ファイルエラー";
  }
  return "";
}

bool IsFailure(RunOutcome outcome) { return outcome != RunOutcome::Completed && outcome != RunOutcome::NothingNew; }

std::string FormatSummary(const RunSummary& s) {
  std::string text = OutcomeText(s.outcome);
  text += ": 送信 " + std::to_string(s.mailsSent) + " 通, リスト " + std::to_string(s.listLines) + " 行, 読み出し " +
          std::to_string(s.messagesRead) + " 通";
  if (!s.ownCall.empty()) text += " (" + s.ownCall + " 宛 " + std::to_string(s.toOwnCall) + " 通)";
  const std::int64_t seconds = (s.durationMs + 500) / 1000;
  char duration[32];
  std::snprintf(duration, sizeof duration, ", %lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text + duration;
}

}  // namespace nami

namespace nami {

std::vector<RunNotice> RunNotices(const RunSummary& summary, bool ownMail, bool failedRun) {
  std::vector<RunNotice> notices;
  if (ownMail && summary.toOwnCall > 0)
    notices.push_back(
        {summary.ownCall + " 宛のメール " + std::to_string(summary.toOwnCall) + " 通", FormatSummary(summary)});
  if (failedRun && summary.scheduled && IsFailure(summary.outcome))
    notices.push_back({std::string("定時の自動運用に失敗: ") + OutcomeText(summary.outcome), FormatSummary(summary)});
  return notices;
}

}  // namespace nami
