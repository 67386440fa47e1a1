#include "autopilot/RunSummary.h"

#include <cstdio>

namespace nami {

std::string FormatSummary(const RunSummary& s) {
  std::string text = DescribeRunEnd(RunEnd{s.outcome, 0, s.detail, {}});
  text += " — 送信 " + std::to_string(s.mailsSent) + " 通, リスト " + std::to_string(s.listLines) + " 行, 読み出し " +
          std::to_string(s.messagesRead) + " 通";
  if (!s.ownCall.empty()) text += " (" + s.ownCall + " 宛 " + std::to_string(s.toOwnCall) + " 通)";
  const std::int64_t seconds = (s.durationMs + 500) / 1000;
  char duration[32];
  std::snprintf(duration, sizeof duration, ", %lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text + duration;
}

std::vector<RunNotice> RunNotices(const RunSummary& summary, bool ownMail, bool failedRun) {
  std::vector<RunNotice> notices;
  if (ownMail && summary.toOwnCall > 0)
    notices.push_back(
        {summary.ownCall + " 宛のメール " + std::to_string(summary.toOwnCall) + " 通", FormatSummary(summary)});
  if (failedRun && summary.scheduled && IsAborted(summary.outcome))
    notices.push_back(
        {std::string("定時の自動運用に失敗: ") + DescribeOutcome(summary.outcome).japanese, FormatSummary(summary)});
  return notices;
}

}  // namespace nami
