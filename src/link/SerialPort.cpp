#include "link/SerialPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/Messages.h"

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

int DeviceHolder(const std::string& path) {
  struct stat dev {};
  if (::stat(path.c_str(), &dev) != 0) return 0;
  // A lock: "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5678 0 EOF".
  if (std::FILE* f = std::fopen("/proc/locks", "re")) {
    char line[256];
    int found = 0;
    while (!found && std::fgets(line, sizeof line, f)) {
      int pid = 0;
      unsigned major = 0, minor = 0;
      unsigned long long inode = 0;
      if (std::sscanf(line, "%*s %*s %*s %*s %d %x:%x:%llu", &pid, &major, &minor, &inode) == 4 &&
          major == ::major(dev.st_dev) && minor == ::minor(dev.st_dev) && inode == dev.st_ino)
        found = pid;
    }
    std::fclose(f);
    if (found > 0) return found;
  }
  // An open descriptor on the same device (only our own user's are visible).
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  int holder = 0;
  while (dirent* p = ::readdir(proc)) {
    const int pid = std::atoi(p->d_name);
    if (pid <= 0 || pid == ::getpid()) continue;
    const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;
    while (dirent* e = ::readdir(fds)) {
      struct stat st {};
      if (e->d_name[0] == '.' || ::stat((fdDir + "/" + e->d_name).c_str(), &st) != 0) continue;
      if (st.st_ino == dev.st_ino && st.st_dev == dev.st_dev && st.st_rdev == dev.st_rdev) {
        holder = pid;
        break;
      }
    }
    ::closedir(fds);
    if (holder) break;
  }
  ::closedir(proc);
  return holder;
}

PortFault OpenFault(int error) {
  switch (error) {
    case 0:
      return PortFault::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return PortFault::NotFound;
    case EACCES:
    case EPERM:
      return PortFault::Permission;
    case EBUSY:
    case EWOULDBLOCK:
      return PortFault::Busy;
    case ENOTTY:
    case EISDIR:
      return PortFault::NotATerminal;
    default:
      return PortFault::Other;
  }
}

std::string PortErrorText(const std::string& path, const SPortError& e) {
  switch (e.fault) {
    case PortFault::None:
      return {};
    case PortFault::NoDevice:
      return msg::NoDeviceSet;
    case PortFault::Permission: {
      std::string groupName = "dialout";
      struct stat st {};
      const bool known = ::stat(path.c_str(), &st) == 0;
      // Joining the device's group helps only when the group may use it.
      if (known && (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        const struct passwd* owner = ::getpwuid(st.st_uid);
        return msg::Format(msg::OwnerOnly, {{"owner", owner ? owner->pw_name : std::to_string(st.st_uid)}});
      }
      if (known)
        if (const struct group* g = ::getgrgid(st.st_gid)) groupName = g->gr_name;
      return msg::Format(msg::AddToGroup, {{"group", groupName}});
    }
    case PortFault::Busy:
      return e.holder > 0 ? msg::Format(msg::InUseByProcess, {{"pid", std::to_string(e.holder)}}) : msg::InUseByAnother;
    case PortFault::NotATerminal:
      return msg::NotATerminal;
    case PortFault::Settings:
      return msg::Format(msg::SettingsRefused, {{"reason", msg::SystemErrorText(e.error)}});
    case PortFault::Lost:
      return msg::Format(msg::DeviceLost, {{"reason", e.error ? msg::SystemErrorText(e.error) : msg::HangUp}});
    case PortFault::NotFound:
    case PortFault::Other:
      break;
  }
  return msg::SystemErrorText(e.error);
}

std::string CSerialPort::Failure() const {
  if (error_.fault == PortFault::None) return {};
  if (error_.fault == PortFault::NoDevice) return name_ + ": " + msg::NoDeviceSet;
  return path_ + ": " + PortErrorText(path_, error_);
}

bool CSerialPort::Refuse(PortFault fault, int error) {
  error_ = {fault, error, fault == PortFault::Busy ? DeviceHolder(path_) : 0};
  return false;
}

bool CSerialPort::Open(const std::string& comstatus) {
  Close();
  lost_ = false;
  error_ = {};
  ComConfig config = ParseComConfig(comstatus);
  name_ = config.device;
  path_ = resolver_ ? resolver_(config.device) : std::string();
  if (path_.empty()) return Refuse(PortFault::NoDevice, 0);
  int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Refuse(OpenFault(error), error);
  }
  if (!Configure(fd, config)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool CSerialPort::Configure(int fd, const ComConfig& config) {
  termios t{};
  // Not a terminal device, or in use by another program that locked it.
  if (tcgetattr(fd, &t) != 0) return Refuse(PortFault::NotATerminal, ENOTTY);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    return Refuse(OpenFault(error), error);
  }
  (void)ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  ConfigureTermios(t, config);
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    const int error = errno;
    (void)ioctl(fd, TIOCNXCL);
    return Refuse(PortFault::Settings, error);
  }
  ModemLine(fd, TIOCMBIS, TIOCM_DTR | ((t.c_cflag & CRTSCTS) ? 0 : TIOCM_RTS));
  (void)ioctl(fd, TIOCCBRK);
  return true;
}

bool CSerialPort::TakeLost() {
  const bool lost = lost_;
  lost_ = false;
  return lost;
}

void CSerialPort::Lose(int error) {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  lost_ = true;
  error_ = {PortFault::Lost, error, 0};
}

std::size_t CSerialPort::ReadAvailable(char* buffer, std::size_t capacity) {
  if (fd_ < 0 || capacity == 0) return 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      // EIO: the far end of a pseudo-terminal closed, or the device went.
      Lose(errno);
      return 0;
    }
    // A read that takes nothing is normal; a hung-up line says so in poll.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) Lose(0);
    return 0;
  }
}

std::size_t CSerialPort::SendText(std::string_view bytes) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  std::size_t done = TrySendText(bytes);
  while (done < bytes.size() && fd_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;  // the port took nothing within the time allowed
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      Lose(0);
      break;
    }
    done += TrySendText(bytes.substr(done));
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
    if (n < 0 && errno != EAGAIN) Lose(errno);
    break;  // the port is full for now, or was lost
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
