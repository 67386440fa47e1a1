// How each run ends, against the in-process simulator: every case ends
// within its limit with its outcome, logs off when the link may be up, and
// leaves the commands and the schedule free for the next run.
#include <gtest/gtest.h>

#include <functional>

#include "support/StationRig.h"

namespace nami::test {
namespace {

using sim::LinkFailure;

const std::string kBye =
    "B\r\x03"
    "D\r";

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(RunOutcome, EveryRunEndsWithinItsLimitAndSaysHow) {
  struct Case {
    const char* name;
    LinkFailure failure;
    std::function<void(StationRig&)> setup;
    RunOutcome outcome;
    bool loggedOff;
    int limitMs;  // simulated time the run may take
  };
  const auto none = [](StationRig&) {};
  const Case cases[] = {
      {"completed", LinkFailure::None, none, RunOutcome::Completed, true, 60000},
      {"nothing new", LinkFailure::None, [](StationRig& r) { r.settings.Set(keys::LastMailNo, "99999"); },
       RunOutcome::NothingNew, true, 60000},
      {"busy", LinkFailure::Busy, none, RunOutcome::BbsBusy, false, 60000},
      {"connect failed", LinkFailure::Connect, none, RunOutcome::ConnectFailed, false, 60000},
      {"link lost", LinkFailure::DropAfter, none, RunOutcome::LinkLost, false, 60000},
      {"no answer", LinkFailure::Silent, [](StationRig& r) { r.settings.Set(keys::Watchdog, "30"); },
       RunOutcome::NoAnswer, true, 31000},
      {"port not open", LinkFailure::None, [](StationRig& r) { r.port->Close(); }, RunOutcome::PortNotOpen, false, 0},
      {"list log is a folder", LinkFailure::None, [](StationRig& r) { r.settings.Set(keys::ListFile, r.dir.Path()); },
       RunOutcome::FileError, true, 60000},
      {"no list command", LinkFailure::None,
       [](StationRig& r) {
         for (const KeySpec& k : keys::Field) r.settings.Set(k, "");
         r.settings.Set(keys::LimitMode, "");
       },
       RunOutcome::NothingNew, true, 60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::STncOptions tnc;
    tnc.failure = c.failure;
    tnc.dropAfterLines = 20;  // in the list
    StationRig rig(tnc);
    c.setup(rig);
    int summaries = 0;
    rig.pilot.OnRunEnd = [&](const RunSummary&) { ++summaries; };
    rig.pilot.Run(AutoCommand::AutoMode);
    ASSERT_TRUE(rig.RunUntilIdle(c.limitMs)) << rig.pilot.StatusText();
    EXPECT_EQ(rig.pilot.LastEnd().outcome, c.outcome) << DescribeRunEnd(rig.pilot.LastEnd());
    EXPECT_EQ(rig.pilot.EndedRuns(), 1u);
    // The end's one summary line carries its outcome and detail.
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(rig.pilot.LastSummary().outcome, c.outcome);
    EXPECT_EQ(rig.pilot.LastSummary().detail, rig.pilot.LastEnd().detail);
    EXPECT_EQ(EndsWith(rig.port->sent, kBye), c.loggedOff) << rig.port->sent;
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_FALSE(rig.LogOpen());
  }
}

TEST(RunOutcome, ThePortNotOpenEndsTheRunAtOnceNamingTheReason) {
  StationRig rig;
  rig.port->Close();
  rig.pilot.Run(AutoCommand::AutoMode);
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_EQ(rig.pilot.LastEnd().outcome, RunOutcome::PortNotOpen);
  EXPECT_EQ(DescribeOutcome(RunOutcome::PortNotOpen).exitStatus, 1);
  EXPECT_EQ(rig.port->sent, "");
}

TEST(RunOutcome, ALostDeviceEndsTheRunAsLinkLostWithoutLoggingOff) {
  StationRig rig;
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.RunFor(3000);
  ASSERT_TRUE(rig.pilot.Busy());
  const std::size_t before = rig.port->sent.size();
  rig.port->Close();
  rig.pilot.OnLinkLost("/dev/ttyUSB0: the device was lost (hang-up)");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_EQ(rig.pilot.LastEnd().outcome, RunOutcome::LinkLost);
  EXPECT_EQ(DescribeRunEnd(rig.pilot.LastEnd()), "リンク断 (link lost): /dev/ttyUSB0: the device was lost (hang-up)");
  EXPECT_EQ(rig.port->sent.size(), before);
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
}

// A silent BBS no longer holds the schedule: the next scheduled run starts.
TEST(RunOutcome, AfterNoAnswerTheNextScheduledRunStarts) {
  sim::STncOptions tnc;
  tnc.failure = LinkFailure::Silent;
  StationRig rig(tnc);
  rig.settings.Set(keys::Watchdog, "60");
  rig.settings.Set(keys::Min, "5");
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.RunFor(60 * 60 * 1000);
  EXPECT_GE(rig.pilot.EndedRuns(), 2u);
  EXPECT_EQ(rig.pilot.LastEnd().outcome, RunOutcome::NoAnswer);
}

TEST(RunOutcome, AMissingMailFileIsNamedSkippedAndKeptInTheQueue) {
  StationRig rig;
  const std::string missing = rig.dir.File("gone.txt");
  const std::string present = rig.dir.File("mail.txt");
  WriteFile(present, "SP QZ2KLM\r\nhello\r\nbody\r\n");
  rig.settings.Set(keys::Send[0], missing);
  rig.settings.Set(keys::Send[1], present);
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle(120000)) << rig.pilot.StatusText();
  EXPECT_EQ(rig.pilot.LastEnd().outcome, RunOutcome::Completed);
  EXPECT_EQ(rig.Setting(keys::Send[0]), missing);
  EXPECT_EQ(rig.Setting(keys::Send[1]), "");
  ASSERT_FALSE(rig.ui.messages.empty());
  EXPECT_NE(rig.ui.messages[0].find(missing), std::string::npos);

  // Only missing files queued: the step ends at once and the run goes on.
  rig.RunFor(5000);  // the TNC takes the link down
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle(60000)) << rig.pilot.StatusText();
  EXPECT_EQ(rig.Setting(keys::Send[0]), missing);
  EXPECT_NE(rig.port->sent.find("\rL"), std::string::npos) << rig.port->sent << DescribeRunEnd(rig.pilot.LastEnd());
}

}  // namespace
}  // namespace nami::test
