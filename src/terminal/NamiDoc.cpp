#include "terminal/NamiDoc.h"

#include <algorithm>

#include "text/Cp932.h"
#include "text/ShiftJis.h"

namespace nami {

CNamiDoc::CNamiDoc(CSettings& settings, IUiSink& ui) : settings_(settings), ui_(ui) {}

void CNamiDoc::SetPort(std::unique_ptr<IPort> port) {
  sending_.SetPort(port.get());
  port_ = std::move(port);
}

void CNamiDoc::SetPathName(const std::string& path) {
  path_ = path;
  settings_.SetProfileSection(path.empty() ? CSettings::UntitledTitle() : settings_.ProfileForDocument(path));
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
  sending_.Discard();
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
  sending_.Discard();
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

}  // namespace nami
