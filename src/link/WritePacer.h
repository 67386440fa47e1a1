// Tells the user-interface thread when the port may take the next byte,
// without ever blocking that thread.
//
// Senders write one byte (or one small group) only when the port's transmit
// queue is empty. A helper thread waits on the port for that moment: first
// until the port is writable (poll POLLOUT; on a pseudo-terminal, whose
// queue count always reads 0, that is all there is), then until the
// driver's output queue (TIOCOUTQ) has emptied, checking a few times per
// character time at the line's speed. It then makes NotifyFd() readable;
// the shell watches that descriptor (a QSocketNotifier), calls TakeReady()
// and the sender stack's Step(), and calls Arm() again while senders remain.
//
// On a real UART the queue count covers only the driver's buffer: it reads 0
// as soon as the byte has moved into the UART's FIFO, while the previous byte
// is still being shifted out. Reacting within a fraction of a character time
// therefore hands the next byte over before the line falls idle, and the
// upload runs at the line rate.
#pragma once

#include <atomic>
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

  int QueueCount(int fd) const;

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
