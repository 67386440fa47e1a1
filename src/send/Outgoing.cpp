#include "send/Outgoing.h"

#include <algorithm>

namespace nami {

std::size_t COutgoing::Send(std::string_view bytes) {
  if (!PortOpen()) return 0;
  accepted_ += bytes.size();
  if (batching_)
    batch_.append(bytes);
  else
    Enqueue(bytes);
  return bytes.size();
}

void COutgoing::Enqueue(std::string_view bytes) {
  std::size_t taken = 0;
  if (Queued() == 0) {
    taken = port_->TrySendText(bytes);
    written_ += taken;
    if (!port_->IsOpen()) {
      discarded_ += bytes.size() - taken;
      if (OnPortLost) OnPortLost();
      return;
    }
  }
  if (taken < bytes.size()) {
    if (queuePos_ > 0 && queuePos_ == queue_.size()) {
      queue_.clear();
      queuePos_ = 0;
    }
    queue_.append(bytes.substr(taken));
  }
}

void COutgoing::BeginBatch(std::size_t limit) {
  // What the port left of the last batch goes first.
  Flush();
  batching_ = true;
  batchLimit_ = limit;
}

void COutgoing::EndBatch() {
  batching_ = false;
  if (batch_.empty()) return;
  if (PortOpen()) {
    Enqueue(batch_);
  } else {
    discarded_ += batch_.size();  // the port went during the batch
  }
  batch_.clear();
}

bool COutgoing::Flush() {
  if (Queued() == 0) return false;
  if (!PortOpen()) {
    Discard();
    return false;
  }
  const std::size_t taken = port_->TrySendText(std::string_view(queue_).substr(queuePos_));
  written_ += taken;
  queuePos_ += taken;
  if (!port_->IsOpen()) {
    Discard();
    if (OnPortLost) OnPortLost();
    return false;
  }
  if (queuePos_ == queue_.size()) {
    queue_.clear();
    queuePos_ = 0;
    return false;
  }
  // Keep the queue from holding on to text long sent.
  if (queuePos_ > (1u << 20) && queuePos_ > queue_.size() / 2) {
    queue_.erase(0, queuePos_);
    queuePos_ = 0;
  }
  return true;
}

void COutgoing::Discard() {
  discarded_ += Queued() + batch_.size();
  queue_.clear();
  queuePos_ = 0;
  batch_.clear();
}

int COutgoing::QueueCount() {
  // Within a batch the engine has already waited for the port: senders see
  // an empty queue until the batch is full.
  if (batching_) return BatchFull() ? static_cast<int>(std::min<std::size_t>(batch_.size() + Queued(), 1 << 30)) : 0;
  const std::size_t queued = Queued();
  const int port = port_ ? port_->TransmitQueueCount() : 0;
  return queued > 0 ? static_cast<int>(std::min<std::size_t>(queued, 1 << 30)) + port : port;
}

}  // namespace nami
