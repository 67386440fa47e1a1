// The port interface: the one byte stream between nami and the TNC.
//
// The serial port (termios), the built-in TNC2 in front of a network link or
// a KISS TNC (link/LinkPort.h), the in-process simulator and the test fakes
// implement it. Every sender in the program goes through SendText; only the
// receive tick calls ReadAvailable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nami {

// What keeps a port closed. The text for the user is made from it only when
// asked (Failure()), so the cause travels unchanged up to the edge.
enum class PortFault {
  None,          // open, or never opened
  NoDevice,      // no device is set for the port's name
  NotFound,      // no such device (ENOENT, ENODEV, ENXIO, ENOTDIR)
  Permission,    // the user may not open it (EACCES, EPERM)
  Busy,          // another program holds it open or locked
  NotATerminal,  // it opens but is no serial device (a file, a directory)
  Settings,      // the driver refused the line settings, or the link value is unusable
  Lost,          // it closed itself after a line error or a hang-up
  Other,         // any other system error
};

struct SPortError {
  PortFault fault = PortFault::None;
  int error = 0;   // the system's errno, 0 where there is none
  int holder = 0;  // for Busy: the process holding the device, 0 = unknown
};

class IPort {
 public:
  virtual ~IPort() = default;

  // Opens (or reopens) the port with a "comstatus" configuration string.
  // False when the device cannot be opened; the port then reads 0 and
  // drops writes until the next Open.
  virtual bool Open(const std::string& comstatus) = 0;
  // Never blocks: copies what has arrived, up to `capacity` bytes.
  virtual std::size_t ReadAvailable(char* buffer, std::size_t capacity) = 0;
  // Waits at most 1,000 ms for the port to take the bytes; returns how many
  // it took (0 on time-out or on an unusable port).
  virtual std::size_t SendText(std::string_view bytes) = 0;
  // Hands over what the port takes at once, without waiting; returns the
  // count taken. Ports that never make a writer wait need not override it.
  virtual std::size_t TrySendText(std::string_view bytes) { return SendText(bytes); }
  // Bytes still waiting in the driver's output queue.
  virtual int TransmitQueueCount() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // A file descriptor the shell may watch for readability and writability,
  // or -1 when the port has none (the simulator, the fake).
  virtual int PollFd() const { return -1; }
  // When the port has work of its own to do without its descriptor becoming
  // readable (a link's timers, text due to the terminal, a connect in
  // progress): the monotonic time (IClock::MonotonicMs), -1 for never, or
  // kPolled for a port that cannot say and is polled (the default for one
  // without a descriptor).
  static constexpr std::int64_t kPolled = -2;
  virtual std::int64_t NextEventMs() const { return PollFd() >= 0 ? -1 : kPolled; }
  // True while the port holds bytes for its descriptor that go out once it
  // is writable (a socket that did not take everything, or is connecting):
  // the shell then watches the descriptor for writability too.
  virtual bool WantsWritable() const { return false; }
  // True for a port whose transmit queue falls as the far side acknowledges
  // (nami's TNC2 in front of a network link or KISS): the send engine writes
  // until the queue count is above 0 and goes on when a receive tick has
  // brought the acknowledgements, with no pacer and no timer.
  virtual bool PacedByPeer() const { return false; }
  // Before the port closes for good: ends the link the port carries (the
  // disconnect after what was queued has been delivered, the far side's
  // answer awaited) within `timeoutMs`. A port whose device ends its own
  // links (a TNC in the hardware) does nothing.
  virtual void Release(int timeoutMs) { (void)timeoutMs; }
  // Release without blocking, for a caller that keeps its own event loop:
  // BeginRelease starts it (false when there is nothing to wait for), then
  // each ReleaseStep serves the far side's I/O and timers and is true once
  // the link is down or the time is up. The port stays open meanwhile.
  virtual bool BeginRelease(int timeoutMs) {
    Release(timeoutMs);
    return false;
  }
  virtual bool ReleaseStep() { return true; }
  // Why the port is not open: after a failed Open, or after the port closed
  // itself on a read or write error or a hang-up, the device and the
  // system's reason (UTF-8); empty otherwise.
  virtual std::string Failure() const { return {}; }
  // The kind of failure behind Failure() and the system's errno.
  virtual SPortError Error() const { return {}; }
  // True once after the port closed itself on a line error or a hang-up
  // (the device vanished).
  virtual bool TakeLost() { return false; }
};

}  // namespace nami
