// The autopilot's transition functions: a step's event sequences and the
// phase each leaves, including every abort path; the run's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "autopilot/StepMachine.h"

namespace nami {
namespace {

using E = StepEvent;
using P = StepPhase;

struct Sequence {
  const char* name;
  std::vector<StepEvent> events;
  std::vector<StepPhase> phases;  // after each event, from Waiting
};

TEST(StepMachine, EventSequencesLeaveTheirPhases) {
  const std::vector<Sequence> cases = {
      {"connect confirmed", {E::Begun, E::Complete}, {P::Waiting, P::DoneNormal}},
      {"list of three commands",
       {E::Begun, E::CommandSent, E::CommandSent, E::Complete},
       {P::Waiting, P::Waiting, P::Waiting, P::DoneNormal}},
      {"two mail files",
       {E::FileStarted, E::FileSent, E::FileStarted, E::FileSent, E::Complete},
       {P::SendingFile, P::Waiting, P::SendingFile, P::Waiting, P::DoneNormal}},
      {"nothing to send", {E::NothingSent}, {P::DoneAtOnce}},
      // A listed mail not asked for: the standing prompt ends the wait.
      {"reads with a line skipped",
       {E::Begun, E::NothingAsked, E::CommandSent, E::Complete},
       {P::Waiting, P::Waiting, P::Waiting, P::DoneNormal}},
      {"log does not open", {E::LogNotOpened}, {P::DoneAborted}},
      {"disconnect notice while waiting", {E::CommandSent, E::LinkLost}, {P::Waiting, P::DoneAborted}},
      {"end command while waiting", {E::EndCommand}, {P::DoneAborted}},
      // The file loop notices a cleared run flag itself and reports it.
      {"end command while a file goes out",
       {E::FileStarted, E::EndCommand, E::FileStopped},
       {P::SendingFile, P::SendingFile, P::DoneAborted}},
      {"disconnect while a file goes out",
       {E::FileStarted, E::LinkLost, E::FileStopped},
       {P::SendingFile, P::SendingFile, P::DoneAborted}},
      // A run takes its next step in the same frame.
      {"next step of a run",
       {E::Complete, E::Begun, E::NothingSent, E::Begun},
       {P::DoneNormal, P::Waiting, P::DoneAtOnce, P::Waiting}},
      // Events that do not belong to a phase leave it alone.
      {"stray events",
       {E::FileSent, E::FileStopped, E::Complete, E::LinkLost, E::Complete},
       {P::Waiting, P::Waiting, P::DoneNormal, P::DoneNormal, P::DoneNormal}},
      // Aborts: every failure ends the whole run, from any phase, for good.
      {"file fails while it goes out",
       {E::FileStarted, E::FileFailed, E::Begun},
       {P::SendingFile, P::Failed, P::Failed}},
      {"file fails to start", {E::FileFailed}, {P::Failed}},
      {"log line lost", {E::CommandSent, E::LogFailed, E::Complete}, {P::Waiting, P::Failed, P::Failed}},
      {"settings not written after the step", {E::Complete, E::NotRecorded}, {P::DoneNormal, P::Failed}},
      {"watchdog while waiting", {E::Watchdog}, {P::Failed}},
      {"device lost while a file goes out", {E::FileStarted, E::PortLost}, {P::SendingFile, P::Failed}},
  };
  for (const Sequence& c : cases) {
    ASSERT_EQ(c.events.size(), c.phases.size()) << c.name;
    StepPhase phase = StepPhase::Waiting;
    for (std::size_t i = 0; i < c.events.size(); ++i) {
      phase = NextPhase(phase, c.events[i]);
      EXPECT_EQ(phase, c.phases[i]) << c.name << ", event " << i;
    }
  }
}

struct RunRow {
  RunPhase from;
  RunEvent event;
  RunPhase to;
};

constexpr RunPhase kAllPhases[] = {RunPhase::Idle,       RunPhase::Linked, RunPhase::Stepping, RunPhase::LinkDown,
                                   RunPhase::LogMissing, RunPhase::Ending, RunPhase::Held};
constexpr RunEvent kAllEvents[] = {RunEvent::StepBegun, RunEvent::StepEnded, RunEvent::LinkLost,
                                   RunEvent::LogNotOpened, RunEvent::EndCommand, RunEvent::RunEnded,
                                   RunEvent::StepFault, RunEvent::PortReopened};

// Every transition of the run's diagram; a pair not listed leaves the phase
// as it is.
TEST(RunMachine, EveryPhaseAndEventLeadsWhereTheDiagramSays) {
  using P = RunPhase;
  using R = RunEvent;
  std::vector<RunRow> rows = {
      {P::Stepping, R::StepEnded, P::Linked},      // a command ended on its prompt
      {P::LinkDown, R::StepEnded, P::Idle},        // ... after the disconnect notice
      {P::LogMissing, R::StepEnded, P::Idle},      // ... after its log did not open
      {P::Ending, R::StepEnded, P::Idle},          // ... after the end command
      {P::Stepping, R::LinkLost, P::LinkDown},     // the notice while a step waits
      {P::Linked, R::LinkLost, P::Idle},           // the notice after a command ended
      {P::Stepping, R::LogNotOpened, P::LogMissing},
      {P::Stepping, R::PortReopened, P::Linked},   // the document starts over under a step
      {P::LinkDown, R::PortReopened, P::Idle},
      {P::LogMissing, R::PortReopened, P::Idle},
      {P::Held, R::PortReopened, P::Idle},         // File New frees held commands
  };
  // Events that lead to one phase from any phase.
  for (RunPhase from : kAllPhases) {
    rows.push_back({from, R::StepBegun, P::Stepping});
    rows.push_back({from, R::EndCommand, P::Ending});
    rows.push_back({from, R::RunEnded, P::Idle});
    rows.push_back({from, R::StepFault, P::Held});
  }
  for (RunPhase from : kAllPhases) {
    for (RunEvent event : kAllEvents) {
      const auto row = std::find_if(rows.begin(), rows.end(),
                                    [&](const RunRow& r) { return r.from == from && r.event == event; });
      const RunPhase expected = row != rows.end() ? row->to : from;
      EXPECT_EQ(NextRun(from, event), expected)
          << "from " << static_cast<int>(from) << ", event " << static_cast<int>(event);
    }
  }
}

}  // namespace
}  // namespace nami
