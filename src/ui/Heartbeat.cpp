#include "ui/Heartbeat.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <QDateTime>

namespace nami {
namespace {

int gSignalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
}

// POLLHUP and friends on `fd` right now.
bool HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

CHeartbeat::CHeartbeat(CStation& station, QObject* parent)
    : QObject(parent), station_(station) {
  CSendEngine& sending = station_.Doc().Sending();
  sendReady_ = new QSocketNotifier(sending.ReadyFd(), QSocketNotifier::Read, this);
  connect(sendReady_, &QSocketNotifier::activated, this, &CHeartbeat::RunSending);
  connect(&sendTimer_, &QTimer::timeout, this, &CHeartbeat::RunSending);
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);  // a coarse timer may come up to 5 % late
  connect(&timer_, &QTimer::timeout, this, [this] { OnWake(false); });
  schedule_.setSingleShot(true);
  connect(&keepBeating_, &QTimer::timeout, this, [this] { OnWake(false); });
  connect(&schedule_, &QTimer::timeout, this, [this] {
    station_.OnMinuteTimer();
    ArmSchedule();
    TickSoon();  // a run it started is watched from now on (the beat)
  });
}

CHeartbeat::~CHeartbeat() { Stop(); }

void CHeartbeat::ArmSchedule() {
  // Just after the next turn of the wall clock's minute, so a run due at
  // 05:35 starts at 05:35:00 and not up to a minute later.
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  schedule_.start(static_cast<int>(kScheduleMs - now % kScheduleMs) + kScheduleSlackMs);
}

void CHeartbeat::Start() {
  active_ = true;
  stopped_ = false;
  station_.StartSchedule();
  ArmSchedule();
  if (beat_) keepBeating_.start();
  Arrange();
}

void CHeartbeat::Stop() {
  active_ = false;
  stopped_ = true;
  timer_.stop();
  schedule_.stop();
  keepBeating_.stop();
  WatchDescriptor(-1);
  station_.Doc().Sending().Stop();
  sendTimer_.stop();
}

void CHeartbeat::TickSoon() {
  if (active_) timer_.start(0);
}

void CHeartbeat::RunTick() {
  ++ticks_;
  station_.Tick();
  KickSenders();
  if (beat_) beat_();
}

void CHeartbeat::KeepBeating(int everyMs, std::function<void()> beat) {
  beat_ = std::move(beat);
  keepBeating_.setInterval(std::max(everyMs, 1));
  if (active_ && beat_) keepBeating_.start();
}

void CHeartbeat::KickSenders() {
  if (stopped_) return;
  station_.Doc().Sending().Kick();
  ArrangeSending();
}

void CHeartbeat::RunSending() {
  if (stopped_) return;
  station_.Doc().Sending().Run();
  ArrangeSending();
}

void CHeartbeat::ArrangeSending() {
  const int ms = station_.Doc().Sending().TimerMs();
  if (ms < 0) {
    sendTimer_.stop();
  } else if (!sendTimer_.isActive() || sendTimer_.interval() != ms) {
    sendTimer_.start(ms);
  }
}

void CHeartbeat::OnWake(bool data) {
  if (!active_) return;
  inDataTick_ = data;
  RunTick();
  inDataTick_ = false;
  Arrange();
}

void CHeartbeat::OnReadable() {
  // A hung-up line (a pseudo-terminal whose other end has gone) stays
  // readable with nothing to read: poll it instead of spinning.
  if (HungUp(fd_)) {
    notifier_->setEnabled(false);
    hungUp_ = true;
  }
  OnWake(!hungUp_);
}

void CHeartbeat::WatchDescriptor(int fd) {
  delete notifier_;
  notifier_ = nullptr;
  delete writable_;
  writable_ = nullptr;
  fd_ = fd;
  hungUp_ = false;
  if (fd_ < 0) return;
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CHeartbeat::OnReadable);
  // Enabled only while the port has bytes for a socket that was full, or a
  // connect in progress (Arrange).
  writable_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
  writable_->setEnabled(false);
  connect(writable_, &QSocketNotifier::activated, this, [this] { OnWake(false); });
}

void CHeartbeat::Arrange() {
  if (!active_) return;
  const int fd = station_.PollFd();
  if (fd != fd_) WatchDescriptor(fd);
  if (hungUp_ && fd_ >= 0) {
    // The same descriptor number may belong to a port opened again since.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      hungUp_ = false;
      notifier_->setEnabled(true);
    }
  }
  if (writable_) writable_->setEnabled(fd_ >= 0 && !hungUp_ && station_.PortWantsWritable());
  const std::int64_t wake = station_.PortWakeInMs();
  if ((fd_ < 0 && wake == IPort::kPolled) || hungUp_) {
    if (!timer_.isActive()) timer_.start(kPollMs);
    return;
  }
  // The port's own next event (a link's timers), and the beat of a run.
  int ms = wake >= 0 ? static_cast<int>(std::min<std::int64_t>(wake, kScheduleMs)) : -1;
  if (station_.Running()) ms = ms < 0 ? kBeatMs : std::min(ms, kBeatMs);
  if (ms >= 0) {
    if (!timer_.isActive() || timer_.remainingTime() > ms) timer_.start(ms);
  } else if (timer_.isActive() && timer_.interval() != 0) {
    timer_.stop();
  }
}

void CHeartbeat::CatchTerminationSignals(std::function<void()> onSignal) {
  if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  onSignal_ = std::move(onSignal);
  delete signalNotifier_;
  signalNotifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
  connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
    char buf[16];
    while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
    }
    if (onSignal_) onSignal_();
  });
  struct sigaction sa {};
  sa.sa_handler = OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // SIGHUP: the session or the terminal that started nami has gone.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &sa, nullptr);
}

}  // namespace nami
