#include "time/Clock.h"

#include <chrono>

namespace nami {

std::time_t CSystemClock::Now() const { return std::time(nullptr); }

std::int64_t CSystemClock::MonotonicMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::tm LocalTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

std::string FormatLocalTime(const char* format, std::time_t t) {
  std::tm tm = LocalTime(t);
  char buffer[256];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

}  // namespace nami
