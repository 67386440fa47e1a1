#include "ui/SendDriver.h"

#include <chrono>

namespace nami {

CSendDriver::CSendDriver(CNamiDoc& doc, QObject* parent) : QObject(parent), doc_(doc), pump_(doc_, pacer_) {
  notifier_ = new QSocketNotifier(pacer_.NotifyFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CSendDriver::OnReady);
  fallback_.setInterval(kFallbackMs);
  connect(&fallback_, &QTimer::timeout, this, &CSendDriver::OnFallback);
}

CSendDriver::~CSendDriver() { Detach(); }

void CSendDriver::SyncPort() {
  IPort* port = doc_.Port();
  const int fd = port && port->IsOpen() ? port->PollFd() : -1;
  if (fd == attachedFd_) return;
  attachedFd_ = fd;
  pacer_.Attach(fd);
}

void CSendDriver::Kick() {
  SyncPort();
  if (doc_.Senders.Empty()) {
    // Called on every tick: wake the helper thread only when it was asked.
    if (active_) {
      pacer_.Disarm();
      fallback_.stop();
      active_ = false;
    }
    return;
  }
  active_ = true;
  if (attachedFd_ >= 0) {
    fallback_.stop();
    pump_.Kick();
  } else {
    pacer_.Disarm();
    if (!fallback_.isActive()) fallback_.start();
  }
}

void CSendDriver::Detach() {
  fallback_.stop();
  pacer_.Disarm();
  pacer_.Attach(-1);
  pacer_.TakeReady();
  attachedFd_ = -2;
  active_ = false;
}

void CSendDriver::OnReady() {
  SyncPort();
  if (attachedFd_ < 0) {
    // The port went away since the pacer was armed.
    pacer_.TakeReady();
    Kick();
    return;
  }
  steps_ += pump_.OnReady();
  active_ = !doc_.Senders.Empty();
}

void CSendDriver::OnFallback() {
  SyncPort();
  if (attachedFd_ >= 0) {
    Kick();  // the port now has a descriptor: the pacer takes over
    return;
  }
  // Hand over what the port takes at once, at most a millisecond's worth.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(1);
  for (int i = 0; i < CSendPump::kBurst && !doc_.Senders.Empty(); ++i) {
    doc_.Senders.Step();
    ++steps_;
    if (doc_.TransmitQueueCount() > 0 || Clock::now() >= deadline) break;
  }
  if (doc_.Senders.Empty()) {
    fallback_.stop();
    active_ = false;
  }
}

}  // namespace nami
