// The schedule of auto-mode runs: every "min" minutes, counted from the
// minute of the run it last triggered.
//
// Once a minute the shell hands over the local minute. The start (Arm, for
// "min" 1 to 59) or the first call sets the target to that minute plus "min"
// (a "min" missing at that time leaves a target one minute back); a call in
// the target minute triggers a run and sets the next target. A changed "min"
// counts at once: the target is the last run's minute (or the start's) plus
// the new value, and a run is due now when that much time has already gone
// by. A sum of 60 or more is brought back by one subtraction of 60 only, so
// an interval of 90 at minute 40 is never reached.
#pragma once

#include "settings/Settings.h"

namespace nami {

class CSchedule {
 public:
  explicit CSchedule(const CSettings& settings) : settings_(settings) {}

  // One timer tick at local minute `minute` (0..59); true when a run is due.
  bool OnTimer(int minute);
  // The program started at local minute `minute`: the first run is "min"
  // minutes from now, not from the first tick a minute later.
  void Arm(int minute);

  // The minute of the next run; -1 until the first tick.
  int NextRunMinute = -1;

 private:
  static int Target(int minute, int interval);
  void CountFrom(int minute, int interval);
  int base_ = -1;      // the minute the target is counted from
  int interval_ = -1;  // the "min" it was counted with
  const CSettings& settings_;
};

}  // namespace nami
