// The schedule over simulated hours, with a clock the test moves.
#include <gtest/gtest.h>

#include "autopilot/Schedule.h"
#include "support/StationRig.h"

namespace nami::test {
namespace {

// A time whose local minute is `minute` and second 0.
std::time_t AtMinute(int minute) {
  std::time_t t = 1700000000;
  std::tm tm = LocalTime(t);
  return t - tm.tm_min * 60 - tm.tm_sec + minute * 60;
}

class ScheduleRule : public ::testing::Test {
 protected:
  ScheduleRule() : settings(dir.File("NAMI.INI")), schedule(settings) {}
  // Ticks once a minute from `startMinute` for `minutes` minutes; returns
  // the minutes (counted from the first tick) at which a run was due.
  std::vector<int> Runs(int startMinute, int minutes) {
    std::vector<int> due;
    for (int i = 0; i < minutes; ++i) {
      if (schedule.OnTimer((startMinute + i) % 60)) due.push_back(i);
    }
    return due;
  }
  TempDir dir;
  CSettings settings;
  CSchedule schedule;
};

TEST_F(ScheduleRule, EveryFiveMinutes) {
  settings.Set(keys::Min, "5");
  EXPECT_EQ(Runs(0, 31), (std::vector<int>{5, 10, 15, 20, 25, 30}));
}

TEST_F(ScheduleRule, ZeroAndSixtyRunAtTheFirstTickThenHourly) {
  settings.Set(keys::Min, "0");
  EXPECT_EQ(Runs(17, 130), (std::vector<int>{0, 60, 120}));
  CSchedule sixty(settings);
  settings.Set(keys::Min, "60");
  std::vector<int> due;
  for (int i = 0; i < 130; ++i) {
    if (sixty.OnTimer((17 + i) % 60)) due.push_back(i);
  }
  EXPECT_EQ(due, (std::vector<int>{0, 60, 120}));
}

TEST_F(ScheduleRule, NinetyAtMinuteFortyNeverRuns) {
  settings.Set(keys::Min, "90");
  EXPECT_TRUE(Runs(40, 300).empty());
  EXPECT_EQ(schedule.NextRunMinute, 70);
}

TEST_F(ScheduleRule, AbsentGivesNoneAndSetLaterCountsAtOnce) {
  EXPECT_TRUE(Runs(10, 5).empty());
  EXPECT_EQ(schedule.NextRunMinute, 9);  // 10 - 1, fixed at the first tick
  settings.Set(keys::Min, "5");
  // Ticks continue at minute 15: five minutes have gone by since the first
  // tick, so a run is due at once, and every five minutes after it.
  std::vector<int> due;
  for (int i = 0; i < 20; ++i) {
    if (schedule.OnTimer((15 + i) % 60)) due.push_back((15 + i) % 60);
  }
  EXPECT_EQ(due, (std::vector<int>{15, 20, 25, 30}));
}

// A changed "min" counts from the last run (or the start) at once, not
// after the old target; the start itself counts, not the first tick.
TEST_F(ScheduleRule, AChangedIntervalCountsAtOnceAndTheStartCounts) {
  struct Case {
    const char* name;
    const char* before;
    int changeAt;  // the tick (minute) at which "min" becomes `after`; -1: never
    const char* after;
    bool armed;  // the start at minute 0 armed the schedule
    int firstTick;
    std::vector<int> due;
  } cases[] = {
      {"60 to 5 early", "60", 2, "5", false, 0, {0, 5, 10, 15}},
      {"60 to 5 late", "60", 10, "5", false, 0, {0, 10, 15}},
      {"5 to 30", "5", 3, "30", false, 0, {30}},
      {"first run after the start", "5", -1, "", true, 1, {5, 10, 15}},
      {"first run without arming", "5", -1, "", false, 1, {6, 11, 16}},
  };
  for (const Case& c : cases) {
    CSchedule s(settings);
    settings.Set(keys::Min, c.before);
    if (c.armed) s.Arm(0);
    std::vector<int> due;
    for (int minute = c.firstTick; minute <= 16 || (c.due.size() == 1 && minute <= 31); ++minute) {
      if (minute == c.changeAt) settings.Set(keys::Min, c.after);
      if (s.OnTimer(minute)) due.push_back(minute);
    }
    EXPECT_EQ(due, c.due) << c.name;
  }
}

TEST_F(ScheduleRule, AbsentAtMinuteZeroIsRecomputed) {
  EXPECT_FALSE(schedule.OnTimer(0));
  EXPECT_EQ(schedule.NextRunMinute, -1);
  settings.Set(keys::Min, "3");
  EXPECT_FALSE(schedule.OnTimer(1));
  EXPECT_EQ(schedule.NextRunMinute, 4);
  EXPECT_TRUE(schedule.OnTimer(4));
}

TEST(ScheduledRuns, ALongRunDoesNotMoveTheNextTargetAndTriggersDuringItAreIgnored) {
  StationRig rig{SmallBbs()};
  rig.clock = CManualClock(AtMinute(0));
  rig.pilot.State().SelectSteps(StepChoice{false, false, false});
  rig.settings.Set(keys::Min, "5");
  auto connects = [&] {
    int n = 0;
    for (std::size_t p = rig.port->sent.find("CONNECT"); p != std::string::npos;
         p = rig.port->sent.find("CONNECT", p + 1))
      ++n;
    return n;
  };
  // One timer tick a minute, the first at minute 0. The BBS answers the run at minute 5 only at
  // minute 7; the others at once.
  std::vector<int> started;
  for (int minute = 0; minute <= 20; ++minute) {
    if (minute > 0) rig.clock.AdvanceMs(60000);
    const int before = connects();
    rig.pilot.OnScheduleTimer();
    if (connects() > before) started.push_back(minute);
    if (minute == 6) {
      EXPECT_TRUE(rig.pilot.Busy());
    }
    if (minute != 5 && minute != 6) rig.Drain();
  }
  EXPECT_EQ(started, (std::vector<int>{5, 10, 15, 20}));
  EXPECT_EQ(rig.pilot.NextRunMinute(), 25);

  // "min" 1 and a run that waits: the trigger in the next minute is ignored,
  // the target moves on all the same.
  rig.settings.Set(keys::Min, "1");
  rig.Drain();
  rig.clock.AdvanceMs(5 * 60000);  // minute 25
  rig.pilot.OnScheduleTimer();
  ASSERT_TRUE(rig.pilot.Busy());
  const int during = connects();
  rig.clock.AdvanceMs(60000);
  rig.pilot.OnScheduleTimer();
  EXPECT_EQ(connects(), during);
  EXPECT_EQ(rig.pilot.NextRunMinute(), 27);
}

}  // namespace
}  // namespace nami::test
