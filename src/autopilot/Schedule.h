// The schedule of auto-mode runs: every "min" minutes, counted from the
// minute of the run it last triggered.
//
// Once a minute the shell hands over the local minute. The first call sets
// the target to that minute plus "min" (so a "min" missing at that time
// leaves a target one minute back, reached up to an hour later); a call in
// the target minute triggers a run and sets the next target. A sum of 60 or
// more is brought back by one subtraction of 60 only, so an interval of 90
// at minute 40 is never reached.
#pragma once

#include "settings/Settings.h"

namespace nami {

class CSchedule {
 public:
  explicit CSchedule(const CSettings& settings) : settings_(settings) {}

  // One timer tick at local minute `minute` (0..59); true when a run is due.
  bool OnTimer(int minute);

  // The minute of the next run; -1 until the first tick.
  int NextRunMinute = -1;

 private:
  static int Target(int minute, int interval);
  const CSettings& settings_;
};

}  // namespace nami
