#include "autopilot/Schedule.h"

#include <climits>

namespace nami {

int CSchedule::Target(int minute, int interval) {
  long long t = static_cast<long long>(minute) + interval;
  if (t >= 60) t -= 60;
  if (t > INT_MAX) t = INT_MAX;  // never reached, like any target above 59
  return static_cast<int>(t);
}

void CSchedule::CountFrom(int minute, int interval) {
  base_ = minute;
  interval_ = interval;
  NextRunMinute = Target(minute, interval);
}

void CSchedule::Arm(int minute) {
  const int interval = settings_.GetInt(keys::Min);
  // 0 and 60 or more keep their run at the first tick.
  if (interval > 0 && interval < 60) CountFrom(minute, interval);
}

bool CSchedule::OnTimer(int minute) {
  const int interval = settings_.GetInt(keys::Min);
  if (NextRunMinute < 0) {
    CountFrom(minute, interval);
  } else if (interval != interval_) {
    // The new interval counts from the same start as the old one did.
    interval_ = interval;
    if (interval >= 0) {
      const int elapsed = (minute - base_ + 60) % 60;
      NextRunMinute = interval > 0 && elapsed >= interval ? minute : Target(base_, interval);
    }
  }
  if (interval == -1) return false;
  if (minute != NextRunMinute) return false;
  CountFrom(minute, interval);
  return true;
}

}  // namespace nami
