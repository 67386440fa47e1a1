#include "send/WritePacer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace nami {
namespace {

constexpr std::int64_t kMs = 1000000;

// Nanoseconds one character takes on the line (10 bits), from the port's
// output speed; 1 ms when the speed is unknown.
std::int64_t CharTimeNs(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return kMs;
  static const struct {
    speed_t code;
    std::int64_t baud;
  } kSpeeds[] = {{B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
  const speed_t speed = cfgetospeed(&t);
  for (const auto& s : kSpeeds) {
    if (s.code == speed) return 10'000'000'000LL / s.baud;
  }
  return kMs;
}

std::int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143.
bool IsPtySlave(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned m = major(st.st_rdev);
  return m >= 136 && m <= 143;
}

void Drain(int fd) {
  std::uint64_t value;
  while (::read(fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
  }
}

}  // namespace

CWritePacer::CWritePacer(QueueCounter queueCount) : queueCount_(std::move(queueCount)) {
  notifyFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  commandFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (notifyFd_ < 0 || commandFd_ < 0) throw std::runtime_error("eventfd failed");
  thread_ = std::thread([this] { Run(); });
}

CWritePacer::~CWritePacer() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  Wake();
  thread_.join();
  ::close(notifyFd_);
  ::close(commandFd_);
}

void CWritePacer::Wake() {
  const std::uint64_t one = 1;
  (void)!::write(commandFd_, &one, sizeof one);
}

void CWritePacer::Signal() {
  const std::uint64_t one = 1;
  (void)!::write(notifyFd_, &one, sizeof one);
  ++signals_;
}

void CWritePacer::Attach(int portFd) {
  {
    std::lock_guard lock(mutex_);
    portFd_ = portFd;
  }
  Wake();
}

void CWritePacer::Arm() {
  bool now = false;
  {
    std::lock_guard lock(mutex_);
    if (portFd_ < 0) {
      now = true;
    } else {
      armed_ = true;
    }
  }
  if (now) {
    Signal();
  } else {
    Wake();
  }
}

void CWritePacer::Disarm() {
  {
    std::lock_guard lock(mutex_);
    armed_ = false;
  }
  Wake();
}

bool CWritePacer::TakeReady() {
  std::uint64_t value = 0;
  return ::read(notifyFd_, &value, sizeof value) == static_cast<ssize_t>(sizeof value) && value > 0;
}

int CWritePacer::QueueCount(int fd) const {
  if (queueCount_) return queueCount_(fd);
  int queued = 0;
  return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

bool CWritePacer::QueueCountWorks(int fd) const { return queueCount_ || !IsPtySlave(fd); }

std::size_t CWritePacer::BatchBytes() const {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = portFd_;
  }
  if (fd < 0) return kNoPortBatch;
  if (!QueueCountWorks(fd)) return kPtyBatch;
  return static_cast<std::size_t>(std::max<std::int64_t>(1, kBatchNs / CharTimeNs(fd)));
}

bool CWritePacer::MayWriteNow() const {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = portFd_;
  }
  if (fd < 0) return true;
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, 0) != 1 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
  return QueueCount(fd) <= 0;
}

bool CWritePacer::WaitPort(int fd, short events, std::int64_t ns, short* revents) {
  pollfd p[2] = {{commandFd_, POLLIN, 0}, {fd, events, 0}};
  timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  int r;
  do {
    r = ::ppoll(p, fd >= 0 ? 2 : 1, ns < 0 ? nullptr : &ts, nullptr);
  } while (r < 0 && errno == EINTR);
  if (revents) *revents = p[1].revents;
  if (p[0].revents & POLLIN) {
    Drain(commandFd_);
    return false;
  }
  return true;
}

void CWritePacer::Run() {
  // Short sleeps must be short: the default 50 µs timer slack is about a
  // character time at 115,200 bit/s.
  ::prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  std::int64_t lastSignalNs = 0;
  for (;;) {
    int fd;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      fd = armed_ ? portFd_ : -1;
    }
    if (fd < 0) {
      WaitPort(-1, 0, -1, nullptr);
      continue;
    }
    if (!WaitReady(fd, lastSignalNs)) continue;
    {
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (!armed_ || portFd_ != fd) continue;
      armed_ = false;
    }
    lastSignalNs = NowNs();
    Signal();
  }
}

bool CWritePacer::WaitReady(int fd, std::int64_t lastSignalNs) {
  // 1. The port must take bytes at all (on a pseudo-terminal: the reader
  //    has made room).
  short revents = 0;
  if (!WaitPort(fd, POLLOUT, -1, &revents)) return false;
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    // A broken port takes nothing; let the sender try at a calm pace
    // instead of spinning.
    return WaitPort(-1, 0, 50 * kMs, nullptr);
  }
  if (!QueueCountWorks(fd)) {
    // 2. A pseudo-terminal: writable is all there is; at most one
    //    hand-over per kPtyGapNs.
    const std::int64_t wait = lastSignalNs + kPtyGapNs - NowNs();
    return wait <= 0 || WaitPort(-1, 0, wait, nullptr);
  }
  // 2. The driver's output queue must fall to the low-water mark.
  return WaitLowWater(fd);
}

bool CWritePacer::WaitLowWater(int fd) {
  // Sleep until the queue is due to drain (the count times the character
  // time), then confirm; while the count stands still (flow control holding
  // the queue), sleep longer each time, up to 100 ms.
  const std::int64_t charNs = CharTimeNs(fd);
  const int lowWater = static_cast<int>(std::max<std::int64_t>(1, kLowWaterNs / charNs));
  std::int64_t held = 0;
  int last = -1;
  for (;;) {
    const int queued = QueueCount(fd);
    if (queued <= lowWater) return true;
    ++queueChecks_;
    std::int64_t step = (queued - lowWater) * charNs;
    if (queued == last) {
      held = std::min<std::int64_t>(held == 0 ? 10 * kMs : held * 2, 100 * kMs);
      step = std::max(step, held);
    } else {
      held = 0;
    }
    last = queued;
    if (!WaitPort(-1, 0, step, nullptr)) return false;
  }
}

}  // namespace nami
