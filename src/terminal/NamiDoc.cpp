#include "terminal/NamiDoc.h"

#include <algorithm>

#include "text/Cp932.h"
#include "text/ShiftJis.h"

namespace nami {

CNamiDoc::CNamiDoc(CSettings& settings, IUiSink& ui) : settings_(settings), ui_(ui) {
  Senders.SetDrain(&outgoingSender_);
}

void CNamiDoc::SetPathName(const std::string& path) {
  path_ = path;
  settings_.SetProfileSection(path.empty() ? CSettings::UntitledTitle() : CSettings::TitleForPath(path));
}

void CNamiDoc::OpenPort(const std::string& comstatus) {
  // A copy: a listener may remove itself while it is told.
  const std::vector<IOpenListener*> listeners = openListeners_;
  for (IOpenListener* listener : listeners) listener->OnPortOpening();

  for (std::size_t n = 0; n < Responses.size(); ++n) {
    Responses[n] = AutoResponse{};
    std::string trigger = settings_.Raw(keys::Event[n]);
    if (trigger.empty()) continue;
    Responses[n].trigger = std::move(trigger);
    Responses[n].response = settings_.Raw(keys::Response[n]);
  }

  if (!port_) return;
  port_->Close();
  DiscardOutgoing();
  if (!port_->Open(comstatus)) {
    // The fixed text, then which device and why (the port says it in UTF-8).
    const std::string why = port_->Failure();
    ui_.ShowMessage(why.empty() ? msg::ReconfigurePort : msg::Format(msg::ReconfigurePortBecause, {{"reason", why}}));
  }
}

void CNamiDoc::AddOpenListener(IOpenListener* listener) {
  if (std::find(openListeners_.begin(), openListeners_.end(), listener) == openListeners_.end())
    openListeners_.push_back(listener);
}

void CNamiDoc::RemoveOpenListener(IOpenListener* listener) {
  openListeners_.erase(std::remove(openListeners_.begin(), openListeners_.end(), listener), openListeners_.end());
}

bool CNamiDoc::PortOpen() const { return port_ && port_->IsOpen(); }

std::string CNamiDoc::PortFailure() const { return port_ ? port_->Failure() : std::string("no port"); }

void CNamiDoc::OpenPortFromProfile() { OpenPort(settings_.Get(keys::ComStatus)); }

void CNamiDoc::ClosePort() {
  if (port_) port_->Close();
  DiscardOutgoing();
}

std::size_t CNamiDoc::SendText(std::string_view bytes) {
  if (!port_ || !port_->IsOpen()) return 0;
  accepted_ += bytes.size();
  if (batching_)
    batch_.append(bytes);
  else
    Enqueue(bytes);
  return bytes.size();
}

void CNamiDoc::Enqueue(std::string_view bytes) {
  std::size_t taken = 0;
  if (OutgoingBytes() == 0) {
    taken = port_->TrySendText(bytes);
    written_ += taken;
    if (!port_->IsOpen()) {
      discarded_ += bytes.size() - taken;
      if (OnPortLost) OnPortLost();
      return;
    }
  }
  if (taken < bytes.size()) {
    if (outgoingPos_ > 0 && outgoingPos_ == outgoing_.size()) {
      outgoing_.clear();
      outgoingPos_ = 0;
    }
    outgoing_.append(bytes.substr(taken));
    Senders.DrainPending(true);
  }
}

void CNamiDoc::BeginBatch(std::size_t limit) {
  // What the port left of the last batch goes first.
  FlushOutgoing();
  batching_ = true;
  batchLimit_ = limit;
}

void CNamiDoc::EndBatch() {
  batching_ = false;
  if (batch_.empty()) return;
  if (port_ && port_->IsOpen()) {
    Enqueue(batch_);
  } else {
    discarded_ += batch_.size();  // the port went during the batch
  }
  batch_.clear();
}

bool CNamiDoc::FlushOutgoing() {
  if (OutgoingBytes() == 0) return false;
  if (!port_ || !port_->IsOpen()) {
    DiscardOutgoing();
    return false;
  }
  const std::size_t taken = port_->TrySendText(std::string_view(outgoing_).substr(outgoingPos_));
  written_ += taken;
  outgoingPos_ += taken;
  if (!port_->IsOpen()) {
    DiscardOutgoing();
    if (OnPortLost) OnPortLost();
    return false;
  }
  if (outgoingPos_ == outgoing_.size()) {
    outgoing_.clear();
    outgoingPos_ = 0;
    return false;
  }
  // Keep the queue from holding on to text long sent.
  if (outgoingPos_ > (1u << 20) && outgoingPos_ > outgoing_.size() / 2) {
    outgoing_.erase(0, outgoingPos_);
    outgoingPos_ = 0;
  }
  return true;
}

void CNamiDoc::DiscardOutgoing() {
  discarded_ += OutgoingBytes() + batch_.size();
  outgoing_.clear();
  outgoingPos_ = 0;
  batch_.clear();
  Senders.DrainPending(false);
}

std::size_t CNamiDoc::SendOwn(std::string_view bytes) {
  if (activity_) activity_->AddSent(bytes);
  return SendText(bytes);
}

void CNamiDoc::Report(ActivityKind kind, std::string text) {
  if (activity_) activity_->Add(kind, std::move(text));
}

std::size_t CNamiDoc::ReadAvailable(char* buffer, std::size_t capacity) {
  return port_ ? port_->ReadAvailable(buffer, capacity) : 0;
}

void CNamiDoc::CAnswerResponses::OnTickEnd(const ReceivedTick& tick) {
  for (const AutoResponse& r : doc_.Responses) {
    if (!r.trigger.empty() && ContainsAtCharStart(tick.scan, r.trigger)) doc_.SendText(r.response + "\r");
  }
}

int CNamiDoc::TransmitQueueCount() {
  // Within a batch the pump has already waited for the port: senders see an
  // empty queue until the batch is full.
  if (batching_)
    return BatchFull() ? static_cast<int>(std::min<std::size_t>(batch_.size() + OutgoingBytes(), 1 << 30)) : 0;
  const std::size_t queued = OutgoingBytes();
  const int port = port_ ? port_->TransmitQueueCount() : 0;
  return queued > 0 ? static_cast<int>(std::min<std::size_t>(queued, 1 << 30)) + port : port;
}

}  // namespace nami
