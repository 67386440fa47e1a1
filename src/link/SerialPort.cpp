#include "link/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>


namespace nami {
namespace {

speed_t SpeedFor(int baud) {
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    default: return B0;
  }
}

void ApplyLine(termios& t, const LineSettings& s) {
  speed_t speed = SpeedFor(s.baud);
  if (speed == B0) return;  // a rate the driver cannot set: keep the old one
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
  }
  switch (s.parity) {
    case 'e': t.c_cflag |= PARENB; break;
    case 'o': t.c_cflag |= PARENB | PARODD; break;
    case 'm': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 's': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (s.stopBits == 2) t.c_cflag |= CSTOPB;
}

void ApplyFlow(termios& t, FlowControl flow) {
  bool xon = false, rtscts = false;
  switch (flow) {
    case FlowControl::Unchanged: return;
    case FlowControl::XonXoff: xon = true; break;
    case FlowControl::Hardware: rtscts = true; break;
    case FlowControl::Both: xon = rtscts = true; break;
    case FlowControl::None: break;
  }
  if (xon) t.c_iflag |= IXON | IXOFF;
  else t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
  if (rtscts) t.c_cflag |= CRTSCTS;
  else t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
}

// Binary mode: no translation of any byte, no echo, no signals, no parity
// checking; reads return at once with what has arrived.
void ApplyFixed(termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                                       IMAXBEL | INPCK | IXANY);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

void ModemLine(int fd, unsigned long request, int bits) {
  // ENOTTY / EINVAL on a pseudo-terminal: nothing to do there.
  (void)ioctl(fd, request, &bits);
}

}  // namespace

void ConfigureTermios(termios& t, const ComConfig& config) {
  if (config.line) ApplyLine(t, *config.line);
  ApplyFlow(t, config.flow);
  ApplyFixed(t);
}

CSerialPort::CSerialPort(DeviceResolver resolver) : resolver_(std::move(resolver)) {}

CSerialPort::~CSerialPort() { Close(); }

bool CSerialPort::Open(const std::string& comstatus) {
  Close();
  ComConfig config = ParseComConfig(comstatus);
  path_ = resolver_ ? resolver_(config.device) : std::string();
  if (path_.empty()) return false;
  int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios t{};
  // Not a terminal device, or in use by another program that locked it.
  if (tcgetattr(fd, &t) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  (void)ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  ConfigureTermios(t, config);
  tcsetattr(fd, TCSANOW, &t);
  ModemLine(fd, TIOCMBIS, TIOCM_DTR | ((t.c_cflag & CRTSCTS) ? 0 : TIOCM_RTS));
  (void)ioctl(fd, TIOCCBRK);
  fd_ = fd;
  return true;
}

std::size_t CSerialPort::ReadAvailable(char* buffer, std::size_t capacity) {
  if (fd_ < 0 || capacity == 0) return 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    return 0;  // nothing arrived, or the line has an error (a pty whose peer left gives EIO)
  }
}

std::size_t CSerialPort::SendText(std::string_view bytes) {
  if (fd_ < 0) return 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;  // a failed write is silent
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;  // the port took nothing within the time allowed
    if (p.revents & (POLLERR | POLLNVAL)) break;
  }
  return done;
}

std::size_t CSerialPort::TrySendText(std::string_view bytes) {
  if (fd_ < 0) return 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // the port is full for now, or has an error
  }
  return done;
}

int CSerialPort::TransmitQueueCount() {
  if (fd_ < 0) return 0;
  int count = 0;
  if (ioctl(fd_, TIOCOUTQ, &count) != 0) return 0;
  return count;
}

void CSerialPort::Close() {
  if (fd_ < 0) return;
  ModemLine(fd_, TIOCMBIC, TIOCM_DTR);
  (void)ioctl(fd_, TIOCCBRK);
  // A pseudo-terminal keeps the exclusive flag after the last close, and an
  // unprivileged reopen would then fail with EBUSY.
  (void)ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace nami
