// Tells the user-interface thread when the port may take the next batch of
// bytes, without ever blocking that thread.
//
// The transmit queue is kept short but never empty while there is text to
// send: a helper thread waits until the port is writable (poll POLLOUT) and
// the driver's output queue (TIOCOUTQ) has fallen to the low-water mark,
// about 20 ms of line time at the port's speed. It does not poll the queue:
// it sleeps until the queue is due to fall that far (computed from the
// count and the speed) and confirms it with one TIOCOUTQ, sleeping again
// only while flow control holds the queue. It then makes NotifyFd()
// readable; the shell watches that descriptor (a QSocketNotifier), calls
// TakeReady() and hands over one batch of BatchBytes(), about 30 ms of line
// time, in one write, and calls Arm() again while senders remain. Stopping
// a sender therefore leaves at most about 50 ms of line time queued.
//
// A pseudo-terminal's queue count always reads 0; there the pace is set by
// writability alone, with batches of up to 4 kB at most every 10 ms, so
// that a reader draining a few bytes at a time does not cost one hand-over
// per few bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace nami {

class CWritePacer {
 public:
  // Reads the driver's output-queue count of a descriptor (TIOCOUTQ unless
  // told otherwise; tests pass their own, since a pseudo-terminal has none).
  using QueueCounter = std::function<int(int fd)>;

  explicit CWritePacer(QueueCounter queueCount = {});
  ~CWritePacer();
  CWritePacer(const CWritePacer&) = delete;
  CWritePacer& operator=(const CWritePacer&) = delete;

  // The port to watch; -1 for none (a port without a descriptor: Arm then
  // signals at once). A pending Arm is carried over to the new port.
  void Attach(int portFd);
  // Asks for one signal when the port may take the next byte.
  void Arm();
  // Drops a pending Arm (nothing left to send).
  void Disarm();
  // Readable while a signal is waiting; watch it for reading.
  int NotifyFd() const { return notifyFd_; }
  // Takes the waiting signal; true when there was one.
  bool TakeReady();
  // Checks at once, without waiting, whether the port may take the next
  // byte now (writable and output queue empty). Lets the shell hand over
  // several bytes per signal where the port keeps taking them at once (a
  // pseudo-terminal), instead of one thread hand-over per byte.
  bool MayWriteNow() const;
  // How many bytes one batch may hold for the attached port: about 30 ms of
  // line time at its speed, 4,096 on a pseudo-terminal, kNoPortBatch for
  // a port without a descriptor.
  std::size_t BatchBytes() const;
  static constexpr std::size_t kNoPortBatch = 64;
  static constexpr std::size_t kPtyBatch = 4096;
  static constexpr std::int64_t kBatchNs = 30'000'000;
  static constexpr std::int64_t kLowWaterNs = 20'000'000;
  static constexpr std::int64_t kPtyGapNs = 10'000'000;

  // Counters for measurements: signals given, and queue checks made while
  // the output queue still held bytes.
  std::uint64_t Signals() const { return signals_.load(); }
  std::uint64_t QueueChecks() const { return queueChecks_.load(); }

 private:
  void Run();
  void Signal();
  void Wake();
  // Waits up to `ns` nanoseconds (-1 = for ever) for the port and the
  // command descriptor; returns false when a command arrived.
  bool WaitPort(int fd, short events, std::int64_t ns, short* revents);
  // Waits until the port is ready for the next hand-over (writable, the
  // driver's queue at the low-water mark, or the pseudo-terminal gap
  // passed); false when a command arrived first.
  bool WaitReady(int fd, std::int64_t lastSignalNs);
  // Sleeps until the driver's output queue of `fd` falls to the low-water
  // mark; false when a command arrived first.
  bool WaitLowWater(int fd);

  int QueueCount(int fd) const;
  // True when the queue count of `fd` means something (not a
  // pseudo-terminal, or the count comes from the caller).
  bool QueueCountWorks(int fd) const;

  QueueCounter queueCount_;
  int notifyFd_ = -1;   // helper -> shell
  int commandFd_ = -1;  // shell -> helper
  mutable std::mutex mutex_;
  int portFd_ = -1;
  bool armed_ = false;
  bool stop_ = false;
  std::atomic<std::uint64_t> signals_{0};
  std::atomic<std::uint64_t> queueChecks_{0};
  std::thread thread_;
};

}  // namespace nami
