#include "autopilot/RunOutcome.h"

#include <array>

#include "text/Messages.h"

namespace nami {
namespace {

// Exit statuses: 0 success, 1 a local fault (port, file, user), 2 usage, 3
// the time limit, 4 and up the far side (worth trying again later).
const std::array<RunOutcomeInfo, 10> kOutcomes{{
    {RunOutcome::None, "none", msg::OutcomeNone.c_str(), "no run", 1},
    {RunOutcome::Completed, "completed", msg::OutcomeCompleted.c_str(), "completed", 0},
    {RunOutcome::NothingNew, "nothing-new", msg::OutcomeNothingNew.c_str(), "nothing new", 0},
    {RunOutcome::EndedByUser, "ended-by-user", msg::OutcomeEndedByUser.c_str(), "ended by the user", 1},
    {RunOutcome::NoAnswer, "no-answer", msg::OutcomeNoAnswer.c_str(), "no answer", 4},
    {RunOutcome::BbsBusy, "bbs-busy", msg::OutcomeBbsBusy.c_str(), "BBS busy", 5},
    {RunOutcome::ConnectFailed, "connect-failed", msg::OutcomeConnectFailed.c_str(), "connect failed", 6},
    {RunOutcome::LinkLost, "link-lost", msg::OutcomeLinkLost.c_str(), "link lost", 7},
    {RunOutcome::PortNotOpen, "port-not-open", msg::OutcomePortNotOpen.c_str(), "port not open", 1},
    {RunOutcome::FileError, "file-error", msg::OutcomeFileError.c_str(), "log or settings not writable", 1},
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
