#include "autopilot/RunSummary.h"

#include <cstdio>

#include "text/Messages.h"

namespace nami {

std::string FormatSummary(const RunSummary& s, bool japaneseOnly) {
  // The dash has no exact CP932 form, so it stays out of the catalogue and
  // joins the run's end and its counts here.
  std::string end = DescribeRunEnd(RunEnd{s.outcome, 0, s.detail, {}});
  if (japaneseOnly) {
    end = DescribeOutcome(s.outcome).japanese;
    if (!s.detail.empty()) end += ": " + s.detail;
  }
  std::string text = end + " — " +
                     msg::Format(msg::SummaryCounts, {{"sent", std::to_string(s.mailsSent)},
                                                      {"list", std::to_string(s.listLines)},
                                                      {"read", std::to_string(s.messagesRead)}});
  if (!s.ownCall.empty())
    text = msg::Format(msg::SummaryOwnCall,
                       {{"counts", text}, {"call", s.ownCall}, {"mails", std::to_string(s.toOwnCall)}});
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
        {msg::Format(msg::NoticeOwnMail, {{"call", summary.ownCall}, {"mails", std::to_string(summary.toOwnCall)}}),
         FormatSummary(summary, true)});
  if (failedRun && summary.scheduled && IsAborted(summary.outcome))
    notices.push_back(
        {msg::Format(msg::NoticeScheduledRunFailed, {{"outcome", DescribeOutcome(summary.outcome).japanese}}),
         FormatSummary(summary, true)});
  return notices;
}

}  // namespace nami
