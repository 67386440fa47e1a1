#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "send/WritePacer.h"

namespace nami::test {
namespace {

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

class PtyPair {
 public:
  PtyPair() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(slave, 0);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
  }
  // Writes until the port has taken nothing for a while (the line discipline
  // moves data on in the background, so one refusal is not enough).
  std::size_t Fill() {
    char block[4096] = {};
    std::size_t written = 0;
    for (int idle = 0; idle < 5;) {
      ssize_t n = ::write(slave, block, sizeof block);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        idle = 0;
      } else {
        ++idle;
        ::usleep(10000);
      }
    }
    return written;
  }
  ~PtyPair() {
    ::close(slave);
    ::close(master);
  }
  int master = -1;
  int slave = -1;
};

TEST(WritePacerTest, SignalsOnlyOnceThePortTakesBytesAgain) {
  PtyPair pty;
  CWritePacer pacer;
  pacer.Attach(pty.slave);

  pacer.Arm();
  ASSERT_TRUE(WaitReadable(pacer.NotifyFd(), 2000)) << "a writable port signals at once";
  EXPECT_TRUE(pacer.TakeReady());
  EXPECT_FALSE(pacer.TakeReady()) << "one signal per Arm";
  EXPECT_FALSE(WaitReadable(pacer.NotifyFd(), 50));

  // Fill the pseudo-terminal until it takes nothing more.
  ASSERT_GT(pty.Fill(), 0u);
  char block[4096];
  pacer.Arm();
  EXPECT_FALSE(WaitReadable(pacer.NotifyFd(), 200)) << "a full port must not be signalled";

  // The far end reads; the port takes bytes again.
  for (int i = 0; i < 200 && !WaitReadable(pacer.NotifyFd(), 0); ++i) {
    while (::read(pty.master, block, sizeof block) > 0) {
    }
    WaitReadable(pacer.NotifyFd(), 10);
  }
  EXPECT_TRUE(pacer.TakeReady());
}

TEST(WritePacerTest, DisarmAndPortlessAndDetach) {
  PtyPair pty;
  CWritePacer pacer;
  pacer.Arm();  // no port: at once
  EXPECT_TRUE(WaitReadable(pacer.NotifyFd(), 0));
  EXPECT_TRUE(pacer.TakeReady());

  pacer.Attach(pty.slave);
  pty.Fill();
  pacer.Arm();
  char block[4096];
  pacer.Disarm();
  while (::read(pty.master, block, sizeof block) > 0) {
  }
  EXPECT_FALSE(WaitReadable(pacer.NotifyFd(), 100)) << "a disarmed pacer stays quiet";
  pacer.Attach(-1);  // the destructor must not hang on a detached port either
}

// What a UART does: the port is writable, but the driver still holds bytes.
// The pacer signals once the queue is at the low-water mark (about 20 ms of
// line time: 19 bytes at 9600 bit/s), sleeping until it is due to get there
// rather than polling, and backs off while the count stands still.
TEST(WritePacerTest, WaitsForTheLowWaterMarkAndBacksOffWhileTheQueueStandsStill) {
  PtyPair pty;
  termios t{};
  ::tcgetattr(pty.slave, &t);
  ::cfsetospeed(&t, B9600);
  ::tcsetattr(pty.slave, TCSANOW, &t);
  std::atomic<int> queued{200};
  CWritePacer pacer([&](int) { return queued.load(); });
  pacer.Attach(pty.slave);
  EXPECT_EQ(pacer.BatchBytes(), 28u) << "30 ms of 9600 bit/s";

  pacer.Arm();
  EXPECT_FALSE(WaitReadable(pacer.NotifyFd(), 400)) << "far above the low-water mark";
  // Flow control holding the queue: a handful of computed sleeps, no polling.
  EXPECT_LT(pacer.QueueChecks(), 10u);

  queued = 18;
  EXPECT_TRUE(WaitReadable(pacer.NotifyFd(), 1000)) << "at the low-water mark";
  EXPECT_TRUE(pacer.TakeReady());
}

// A draining queue: one computed sleep, one confirming count, then the
// signal about when the queue reaches the low-water mark.
TEST(WritePacerTest, SleepsUntilTheQueueIsDueToDrain) {
  PtyPair pty;
  termios t{};
  ::tcgetattr(pty.slave, &t);
  ::cfsetospeed(&t, B9600);
  ::tcsetattr(pty.slave, TCSANOW, &t);
  // A queue of 119 bytes leaving at 960 bytes a second.
  const auto start = std::chrono::steady_clock::now();
  CWritePacer pacer([&](int) {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return std::max(0, 119 - static_cast<int>(s * 960));
  });
  pacer.Attach(pty.slave);
  pacer.Arm();
  ASSERT_TRUE(WaitReadable(pacer.NotifyFd(), 2000));
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.095) << "100 bytes above the mark take 104 ms";
  EXPECT_LE(pacer.QueueChecks(), 3u) << "computed, not polled";
}

TEST(WritePacerTest, BatchesByPortKind) {
  PtyPair pty;
  CWritePacer pacer;
  EXPECT_EQ(pacer.BatchBytes(), CWritePacer::kNoPortBatch);
  pacer.Attach(pty.slave);
  EXPECT_EQ(pacer.BatchBytes(), CWritePacer::kPtyBatch) << "a pseudo-terminal's queue count is always 0";
}

}  // namespace
}  // namespace nami::test
