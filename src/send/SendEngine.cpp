#include "send/SendEngine.h"

#include <algorithm>
#include <chrono>

namespace nami {

CSendEngine::CSendEngine() = default;
CSendEngine::~CSendEngine() = default;

void CSendEngine::SetPort(IPort* port) {
  port_ = port;
  out_.SetPort(port);
}

void CSendEngine::Push(ISender* sender) {
  Remove(sender);
  senders_.push_back(sender);
}

void CSendEngine::Remove(ISender* sender) {
  senders_.erase(std::remove(senders_.begin(), senders_.end(), sender), senders_.end());
}

bool CSendEngine::Contains(const ISender* sender) const {
  return std::find(senders_.begin(), senders_.end(), sender) != senders_.end();
}

bool CSendEngine::Step() {
  if (out_.Queued() > 0 && out_.Flush()) return true;
  if (senders_.empty()) return false;
  ISender* top = senders_.back();
  if (!top->Step()) Remove(top);
  return !senders_.empty();
}

CWritePacer& CSendEngine::Pacer() {
  if (!pacer_) pacer_ = std::make_unique<CWritePacer>(queueCount_);
  return *pacer_;
}

void CSendEngine::UseQueueCounter(CWritePacer::QueueCounter count) {
  queueCount_ = std::move(count);
  pacer_.reset();
  attachedFd_ = -2;
}

void CSendEngine::SyncPort() {
  // A port paced by its peer needs no pacer: its queue count says when.
  const int fd = port_ && port_->IsOpen() && !port_->PacedByPeer() ? port_->PollFd() : -1;
  if (fd == attachedFd_) return;
  attachedFd_ = fd;
  if (fd >= 0 || pacer_) Pacer().Attach(fd);
}

void CSendEngine::Kick() {
  SyncPort();
  if (Idle()) {
    // Called on every receive tick: wake the helper thread only when it was asked.
    if (active_ && pacer_) pacer_->Disarm();
    active_ = false;
    timerMs_ = -1;
    return;
  }
  active_ = true;
  if (PeerPaced()) {
    KickPeer();
  } else if (attachedFd_ >= 0) {
    timerMs_ = -1;
    Pacer().Arm();
  } else {
    if (pacer_) pacer_->Disarm();
    timerMs_ = kTimerMs;
  }
}

void CSendEngine::KickPeer() {
  if (pacer_) pacer_->Disarm();
  if (out_.Queued() == 0 && port_->TransmitQueueCount() > 0) {
    timerMs_ = -1;  // the acknowledgements bring the next Kick
  } else {
    // A pass that sent nothing (a sender waiting) is not repeated at once.
    timerMs_ = peerIdlePass_ ? kTimerMs : 0;
  }
}

void CSendEngine::Stop() {
  timerMs_ = -1;
  if (pacer_) {
    pacer_->Disarm();
    pacer_->Attach(-1);
    pacer_->TakeReady();
  }
  attachedFd_ = -2;
  active_ = false;
}

void CSendEngine::Run() {
  SyncPort();
  const bool signalled = pacer_ && pacer_->TakeReady();
  // A port with a descriptor is stepped only when the pacer says it may
  // take more; a signal left from a port that has gone since counts for
  // nothing.
  if (PeerPaced()) {
    const std::uint64_t before = out_.Accepted();
    if (out_.Queued() > 0 || port_->TransmitQueueCount() == 0) {
      steps_ += Pass(true, kPeerBatch);
      peerIdlePass_ = out_.Accepted() == before;
    }
  } else if (attachedFd_ < 0) {
    steps_ += Pass(false, 0);
  } else if (signalled) {
    steps_ += Pass(true, Pacer().BatchBytes());
  }
  Kick();
}

int CSendEngine::Pass(bool paced, std::size_t batch) {
  // Paced: one batch of the pacer's size, handed over in one write; a step
  // that sends nothing (a sender waiting) still counts, so the loop ends.
  // Direct: each byte goes as it is sent, until the port holds some. The
  // time bounds keep the user interface responsive on slow files.
  using Clock = std::chrono::steady_clock;
  const int maxSteps = paced ? static_cast<int>(batch) + 16 : kBurst;
  const int checkEvery = paced ? 64 : 1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(paced ? 2 : 1);
  int steps = 0;
  if (paced) out_.BeginBatch(batch);
  while (!Idle() && steps < maxSteps && !(paced && out_.BatchFull())) {
    Step();
    ++steps;
    if (!paced && out_.QueueCount() > 0) break;
    if (steps % checkEvery == 0 && Clock::now() >= deadline) break;
  }
  if (paced) out_.EndBatch();
  return steps;
}

}  // namespace nami
