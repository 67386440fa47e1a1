#include "autopilot/Schedule.h"

#include <climits>

namespace nami {

int CSchedule::Target(int minute, int interval) {
  long long t = static_cast<long long>(minute) + interval;
  if (t >= 60) t -= 60;
  if (t > INT_MAX) t = INT_MAX;  // never reached, like any target above 59
  return static_cast<int>(t);
}

bool CSchedule::OnTimer(int minute) {
  if (NextRunMinute < 0) NextRunMinute = Target(minute, settings_.GetInt(keys::Min));
  if (settings_.GetInt(keys::Min) == -1) return false;
  if (minute != NextRunMinute) return false;
  NextRunMinute = Target(minute, settings_.GetInt(keys::Min));
  return true;
}

}  // namespace nami
