// The time source of the core: wall-clock time for the schedule and the
// default file names, and a monotonic millisecond count for delays. Tests
// and the simulator pass a clock they control.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace nami {

class IClock {
 public:
  virtual ~IClock() = default;
  virtual std::time_t Now() const = 0;
  virtual std::int64_t MonotonicMs() const = 0;
};

class CSystemClock final : public IClock {
 public:
  std::time_t Now() const override;
  std::int64_t MonotonicMs() const override;
};

// A clock that moves only when told to.
class CManualClock final : public IClock {
 public:
  explicit CManualClock(std::time_t start = 0) : now_(start) {}
  std::time_t Now() const override { return now_ + static_cast<std::time_t>(ms_ / 1000); }
  std::int64_t MonotonicMs() const override { return ms_; }
  void AdvanceMs(std::int64_t ms) { ms_ += ms; }

 private:
  std::time_t now_;
  std::int64_t ms_ = 0;
};

std::tm LocalTime(std::time_t t);
// strftime with the user's locale; empty when the result would not fit 255 bytes.
std::string FormatLocalTime(const char* format, std::time_t t);

}  // namespace nami
