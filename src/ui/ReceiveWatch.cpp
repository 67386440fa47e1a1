#include "ui/ReceiveWatch.h"

#include <poll.h>

namespace nami {

CReceiveWatch::CReceiveWatch(CSession& session, std::function<void()> tick, QObject* parent)
    : QObject(parent), session_(session), tick_(std::move(tick)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);  // a coarse timer may come up to 5 % late
  connect(&timer_, &QTimer::timeout, this, [this] { RunTick(false); });
}

CReceiveWatch::~CReceiveWatch() { Stop(); }

void CReceiveWatch::Start() {
  active_ = true;
  // A write that finds the device gone: the tick reports the lost link.
  session_.Doc().OnPortLost = [this] { TickSoon(); };
  Arrange();
}

void CReceiveWatch::Stop() {
  active_ = false;
  session_.Doc().OnPortLost = nullptr;
  timer_.stop();
  delete notifier_;
  notifier_ = nullptr;
  fd_ = -1;
}

void CReceiveWatch::TickSoon() {
  if (active_) timer_.start(0);
}

void CReceiveWatch::RunTick(bool data) {
  if (!active_) return;
  inDataTick_ = data;
  tick_();
  inDataTick_ = false;
  Arrange();
}

void CReceiveWatch::Arrange() {
  if (!active_) return;
  IPort* port = session_.Doc().Port();
  const int fd = port && port->IsOpen() ? port->PollFd() : -1;
  if (fd != fd_) {
    delete notifier_;
    notifier_ = nullptr;
    fd_ = fd;
    hungUp_ = false;
    if (fd_ >= 0) {
      notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
      connect(notifier_, &QSocketNotifier::activated, this, [this] {
        // A hung-up line (a pseudo-terminal whose other end has gone) stays
        // readable with nothing to read: poll it instead of spinning.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
          notifier_->setEnabled(false);
          hungUp_ = true;
        }
        RunTick(!hungUp_);
      });
    }
  }
  if (hungUp_ && fd_ >= 0) {
    // The same descriptor number may belong to a port opened again since.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      hungUp_ = false;
      notifier_->setEnabled(true);
    }
  }
  if (fd_ < 0 || hungUp_) {
    if (!timer_.isActive()) timer_.start(kPollMs);
    return;
  }
  CAutopilot* pilot = session_.Autopilot();
  if (pilot && pilot->Busy()) {
    if (!timer_.isActive() || timer_.remainingTime() > kHeartbeatMs) timer_.start(kHeartbeatMs);
  } else if (timer_.isActive() && timer_.interval() != 0) {
    timer_.stop();
  }
}

}  // namespace nami
