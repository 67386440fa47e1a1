#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

namespace nami::sim {
namespace {

constexpr int kAbsentPollMs = 100;  // how often a closed port is looked at again

}  // namespace

CPtyServer::CPtyServer(CTnc2& tnc, IClock& clock, SPtyOptions options)
    : tnc_(tnc), clock_(clock), options_(std::move(options)) {}

CPtyServer::~CPtyServer() {
  RemoveLink();
  if (master_ >= 0) ::close(master_);
  if (notify_ >= 0) ::close(notify_);
  if (slave_ >= 0) ::close(slave_);
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
  if (log_) std::fclose(log_);
  if (sentLog_) std::fclose(sentLog_);
}

namespace {
// Puts what failed and the system's reason into `error`; false.
bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}
}  // namespace

bool CPtyServer::Start(std::string* error) {
  if (!OpenPty(error) || !OpenLogs(error) || !MakeLink(error)) return false;
  Log("server started on " + slavePath_, true);
  return true;
}

// The wake-up pipe and the pseudo-terminal, its slave in raw mode and
// watched for opens and closes.
bool CPtyServer::OpenPty(std::string* error) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return Fail(error, "pipe");
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return Fail(error, "posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return Fail(error, "grantpt");
  const char* name = ::ptsname(master_);
  if (!name) return Fail(error, "ptsname");
  slavePath_ = name;
  int flags = ::fcntl(master_, F_GETFL);
  ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);

  // Raw mode on the slave, so that no byte is changed on its way.
  int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return Fail(error, "open " + slavePath_);
  termios tio{};
  if (::tcgetattr(slave, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (notify_ >= 0 && ::inotify_add_watch(notify_, slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
    ::close(notify_);
    notify_ = -1;
  }
  // Without inotify the slave must be closed here, or no hang-up would show.
  if (notify_ >= 0)
    slave_ = slave;
  else
    ::close(slave);
  return true;
}

bool CPtyServer::OpenLogs(std::string* error) {
  if (!options_.logPath.empty()) {
    log_ = std::fopen(options_.logPath.c_str(), "ab");
    if (!log_) return Fail(error, "open " + options_.logPath);
  }
  if (!options_.sentLogPath.empty()) {
    sentLog_ = std::fopen(options_.sentLogPath.c_str(), "ab");
    if (!sentLog_) return Fail(error, "open " + options_.sentLogPath);
  }
  return true;
}

// The symbolic link to the slave, when one was asked for.
bool CPtyServer::MakeLink(std::string* error) {
  if (options_.linkPath.empty()) return true;
  std::error_code ec;
  std::filesystem::path link(options_.linkPath);
  if (link.has_parent_path()) std::filesystem::create_directories(link.parent_path(), ec);
  struct stat st {};
  if (::lstat(options_.linkPath.c_str(), &st) == 0) {
    // A link left by an earlier run is replaced; anything else is not ours.
    if (!S_ISLNK(st.st_mode)) {
      errno = EEXIST;
      return Fail(error, options_.linkPath);
    }
    ::unlink(options_.linkPath.c_str());
  }
  if (::symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) return Fail(error, "symlink " + options_.linkPath);
  linkMade_ = true;
  return true;
}

void CPtyServer::RemoveLink() {
  if (!linkMade_) return;
  char target[4096];
  ssize_t n = ::readlink(options_.linkPath.c_str(), target, sizeof target - 1);
  if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_) ::unlink(options_.linkPath.c_str());
  linkMade_ = false;
}

void CPtyServer::RequestStop() {
  if (wake_[1] >= 0) {
    char c = 1;
    ssize_t r = ::write(wake_[1], &c, 1);
    (void)r;
  }
}

std::string CPtyServer::EscapeBytes(std::string_view bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string s;
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      s += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      s += ch;
    } else {
      s += "\\x";
      s += hex[c >> 4];
      s += hex[c & 15];
    }
  }
  return s;
}

void CPtyServer::Log(std::string_view text, bool event) {
  LogTo(log_, text, event);
  if (event) LogTo(sentLog_, text, event);
}

void CPtyServer::LogTo(std::FILE* file, std::string_view text, bool event, const timespec* at) {
  if (!file) return;
  timespec ts{};
  if (at)
    ts = *at;
  else
    ::clock_gettime(CLOCK_REALTIME, &ts);
  std::fprintf(file, "%s%lld.%06ld %s\n", event ? "# " : "", static_cast<long long>(ts.tv_sec), ts.tv_nsec / 1000,
               std::string(text).c_str());
  std::fflush(file);
}

bool CPtyServer::TerminalPresent() {
  // The master reports a hang-up while no one has the slave open.
  pollfd p{master_, 0, 0};
  if (::poll(&p, 1, 0) < 0) return present_;
  return !(p.revents & POLLHUP);
}

void CPtyServer::OnTerminalOpened() {
  present_ = true;
  toTerminal_.clear();
  budget_ = 0;
  budgetAt_ = clock_.MonotonicMs();
  if (slave_ >= 0) ::tcflush(slave_, TCIFLUSH);
  Log("terminal opened the port", true);
  tnc_.PowerOn();
}

void CPtyServer::HandleOpenCloseEvents() {
  alignas(inotify_event) char buf[4096];
  std::vector<std::uint32_t> events;
  for (;;) {
    ssize_t n = ::read(notify_, buf, sizeof buf);
    if (n <= 0) break;
    for (char* p = buf; p < buf + n;) {
      auto* e = reinterpret_cast<inotify_event*>(p);
      events.push_back(e->mask);
      p += sizeof(inotify_event) + e->len;
    }
  }
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i] & IN_OPEN) {
      if (opens_++ == 0) {
        if (present_) OnTerminalClosed(false);
        OnTerminalOpened();
      }
    } else if ((events[i] & IN_CLOSE) && opens_ > 0 && --opens_ == 0 && present_) {
      // Unread bytes belong to the terminal that closed, unless another
      // terminal has opened the port since and may have written them.
      bool reopened = std::any_of(events.begin() + static_cast<std::ptrdiff_t>(i), events.end(),
                                  [](std::uint32_t m) { return (m & IN_OPEN) != 0; });
      OnTerminalClosed(!reopened);
    }
  }
}

void CPtyServer::OnTerminalClosed(bool readRest) {
  // What the terminal wrote just before closing still counts (unless a new
  // terminal may have written since).
  if (readRest) ReadFromTerminal(1 << 16);
  present_ = false;
  toTerminal_.clear();
  // Answers the terminal did not read are not for the next one, nor is what
  // it wrote and was not read (a fast reopen may lose the new terminal's
  // first bytes, which is better than feeding it a dead session's input).
  ::tcflush(master_, TCIFLUSH);
  if (slave_ >= 0) {
    ::tcflush(slave_, TCIFLUSH);
    // A pseudo-terminal keeps the exclusive-use flag of a terminal that has
    // gone; cleared, the port can be opened again by an unprivileged user.
    (void)::ioctl(slave_, TIOCNXCL);
  }
  tnc_.PowerOn();  // the session ends; the next terminal finds a fresh TNC
  Log("terminal closed the port", true);
}

void CPtyServer::ReadFromTerminal(std::size_t max) {
  char buf[4096];
  while (max > 0) {
    ssize_t n = ::read(master_, buf, std::min(max, sizeof buf));
    if (n <= 0) return;  // EAGAIN, or EIO once the slave is closed
    std::string_view bytes(buf, static_cast<std::size_t>(n));
    Log(EscapeBytes(bytes), false);
    tnc_.Receive(bytes);
    max -= static_cast<std::size_t>(n);
    if (options_.drainBytesPerSec > 0) budget_ -= static_cast<double>(n);
  }
}

void CPtyServer::WriteToTerminal() {
  while (!toTerminal_.empty()) {
    // Stamped before the write: the terminal may answer before this
    // process runs again, and its answer must not seem to come first.
    timespec before{};
    if (sentLog_) ::clock_gettime(CLOCK_REALTIME, &before);
    ssize_t n = ::write(master_, toTerminal_.data(), toTerminal_.size());
    if (n <= 0) return;
    if (sentLog_)
      LogTo(sentLog_, EscapeBytes(std::string_view(toTerminal_.data(), static_cast<std::size_t>(n))), false, &before);
    toTerminal_.erase(0, static_cast<std::size_t>(n));
  }
}

// While no terminal has the port open: waits for one; false when asked to stop.
bool CPtyServer::WaitForTerminal() {
  pollfd w[2] = {{wake_[0], POLLIN, 0}, {notify_, POLLIN, 0}};
  int r = ::poll(w, notify_ >= 0 ? 2 : 1, notify_ >= 0 ? -1 : kAbsentPollMs);
  if (r > 0 && (w[0].revents & POLLIN)) return false;
  if (notify_ >= 0)
    HandleOpenCloseEvents();
  else if (TerminalPresent())
    OnTerminalOpened();
  return true;
}

// Whether the terminal's bytes may be read now (the drain rate's budget and
// the limit on unread answers); returns the poll timeout (-1: none).
int CPtyServer::PlanRead(std::int64_t now, bool& mayRead) {
  const int rate = options_.drainBytesPerSec;
  mayRead = tnc_.PendingOutput() + toTerminal_.size() < kOutputLimit;
  int timeout = -1;
  if (rate > 0) {
    double burst = std::max(1.0, rate / 10.0);  // at most 100 ms worth at once
    budget_ = std::min(burst, budget_ + static_cast<double>(now - budgetAt_) * rate / 1000.0);
    budgetAt_ = now;
    if (budget_ < 1.0) {
      mayRead = false;
      timeout = static_cast<int>(std::ceil((1.0 - budget_) * 1000.0 / rate));
    }
  }
  // Due output waits while the terminal is not taking what it has already.
  std::int64_t next = toTerminal_.size() < (1u << 16) ? tnc_.NextEventMs() : -1;
  if (next >= 0) {
    int wait = static_cast<int>(std::clamp<std::int64_t>(next - now, 0, 60000));
    timeout = timeout < 0 ? wait : std::min(timeout, wait);
  }
  return timeout;
}

void CPtyServer::Run() {
  for (;;) {
    if (!present_) {
      if (!WaitForTerminal()) break;
      continue;
    }
    const std::int64_t now = clock_.MonotonicMs();
    if (toTerminal_.size() < (1u << 16)) tnc_.TakeDue(toTerminal_, (1u << 16) - toTerminal_.size());
    WriteToTerminal();

    bool mayRead = false;
    const int timeout = PlanRead(now, mayRead);
    pollfd p[3] = {{master_, static_cast<short>((mayRead ? POLLIN : 0) | (toTerminal_.empty() ? 0 : POLLOUT)), 0},
                   {wake_[0], POLLIN, 0},
                   {notify_, POLLIN, 0}};
    int r = ::poll(p, notify_ >= 0 ? 3 : 2, timeout);
    if (r < 0 && errno != EINTR) break;
    if (p[1].revents & POLLIN) break;
    if (notify_ >= 0 && (p[2].revents & POLLIN)) {
      HandleOpenCloseEvents();
      continue;
    }
    if (p[0].revents & POLLHUP) {
      if (notify_ >= 0) HandleOpenCloseEvents();  // the close event comes before the hang-up
      if (present_) OnTerminalClosed(true);
      continue;
    }
    if (p[0].revents & POLLIN) {
      const int rate = options_.drainBytesPerSec;
      std::size_t max = 4096;
      if (rate > 0) max = static_cast<std::size_t>(std::max(1.0, std::floor(budget_)));
      ReadFromTerminal(max);
    }
    if (p[0].revents & POLLOUT) WriteToTerminal();
  }
  Log("server stopped", true);
  RemoveLink();
}

}  // namespace nami::sim
