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

TEST_F(ScheduleRule, AbsentGivesNoneAndSetLaterWaitsForTheMinuteBefore) {
  EXPECT_TRUE(Runs(10, 5).empty());
  EXPECT_EQ(schedule.NextRunMinute, 9);  // 10 - 1, fixed at the first tick
  settings.Set(keys::Min, "5");
  // Ticks continue at minute 15: the first run comes at minute 9 of the next hour.
  std::vector<int> due;
  for (int i = 0; i < 70; ++i) {
    if (schedule.OnTimer((15 + i) % 60)) due.push_back((15 + i) % 60);
  }
  EXPECT_EQ(due, (std::vector<int>{9, 14, 19, 24}));
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
