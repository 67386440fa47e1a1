#include "ui/Session.h"

#include <algorithm>

#include "link/ComConfig.h"
#include "link/LinkPort.h"
#include "sim/DemoPort.h"
#include "terminal/DocumentFile.h"
#include "text/Cp932.h"
#include "text/IniPath.h"
#include "ui/LinkPasswords.h"

namespace nami {

void CUiRelay::ShowMessage(const std::string& text) {
  if (target_) target_->ShowMessage(text);
}
void CUiRelay::Beep() {
  if (target_) target_->Beep();
}
void CUiRelay::DrawDirect() {
  if (target_) target_->DrawDirect();
}
void CUiRelay::InvalidateAll() {
  if (target_) target_->InvalidateAll();
}
void CUiRelay::ScrollLines(int lines) {
  if (target_) target_->ScrollLines(lines);
}
void CUiRelay::RedrawBottomRow(bool clearRest) {
  if (target_) target_->RedrawBottomRow(clearRest);
}

CSession::CSession(CSettings& settings, IClock& clock, bool demo)
    : settings_(settings), clock_(clock), demo_(demo), activity_(clock), doc_(settings, relay_), core_(doc_) {
  doc_.SetPathName("");
  doc_.SetActivity(&activity_);
  if (demo_) {
    FillDemoProfile(settings_);
    PrepareDemoStation(settings_);
  }
  {
    CSettings* s = &settings_;
    IClock* clock = &clock_;
    SLinkHooks hooks;
    hooks.device = [s](const std::string& com) { return s->DevicePath(com); };
    hooks.myCall = [s] { return s->MyCall(); };
    hooks.setMyCall = [s](const std::string& call) { s->SetMyCall(call); };
    hooks.password = [s](const std::string& link, std::string& why) { return LinkPassword(s->Path(), link, why); };
    hooks.simulator = [clock] { return MakeDemoPort(*clock); };
    doc_.SetPort(std::make_unique<CLinkPort>(clock_, std::move(hooks)));
  }
  autopilot_ = std::make_shared<CAutopilot>(doc_, clock_);
  transfers_ = std::make_shared<CTransfers>(doc_, clock_);
}

CSession::~CSession() { Shutdown(); }

void CSession::SetPort(std::unique_ptr<IPort> port) { doc_.SetPort(std::move(port)); }

void CSession::Reinitialise() {
  if (autopilot_) autopilot_->Cancel();
  if (transfers_) transfers_->Reinitialise();
  doc_.Senders.Clear();
  doc_.Lines().Clear();
  doc_.Lines().TakeEvictedCount();
  core_.Reset();
  link_.Reset();  // the port is opened again
  portName_.clear();
}

const std::string& CSession::PortName() {
  // Asked for by the status bar several times a second: worked out once per
  // opening of the port (the settings are read from the file at each use).
  if (!portName_.empty()) return portName_;
  if (demo_) return portName_ = "シミュレーター";
  const std::string com = settings_.Get(keys::ComStatus);
  const std::string name = com.substr(0, com.find(':'));
  const std::string path = settings_.DevicePath(name);
  return portName_ = path.empty() ? Cp932ToUtf8(name) : path;  // a device path or link value (file-system name)
}

void CSession::NewDocument() {
  Reinitialise();
  doc_.SetPathName("");
  if (demo_) FillDemoProfile(settings_);
  doc_.OpenPortFromProfile();
  PortOpened();
}

void CSession::PortOpened() {
  waiting_ = !doc_.PortOpen();
  waitSaid_ = false;
  reopenAtMs_ = clock_.MonotonicMs() + kReopenMs;
}

void CSession::Notice(const std::string& text) {
  if (OnNotice) OnNotice(text);
}

void CSession::CheckPort() {
  IPort* port = doc_.Port();
  if (!port) return;
  if (port->TakeLost()) {
    const std::string why = port->Failure();
    relay_.ShowMessage(msg::LinkLost + why);
    if (autopilot_) autopilot_->OnLinkLost(why);
    PortOpened();
  }
  if (!reopen_ || !waiting_ || clock_.MonotonicMs() < reopenAtMs_) return;
  reopenAtMs_ = clock_.MonotonicMs() + kReopenMs;
  if (port->Open(settings_.Get(keys::ComStatus))) {
    waiting_ = false;
    Notice("the port is open again: " + settings_.DevicePath(ParseComConfig(settings_.Get(keys::ComStatus)).device));
    return;
  }
  if (!waitSaid_) {
    waitSaid_ = true;
    Notice("waiting for the port to open (" + port->Failure() + "); trying every " + std::to_string(kReopenMs / 1000) +
           " s");
  }
}

bool CSession::OpenDocument(const std::string& path, std::string& error) {
  // The name becomes a NAMI.INI section, which is CP932.
  if (!DocumentNameStorable(path)) {
    error = UnstorablePathMessage(path);
    return false;
  }
  CLineStore loaded;
  if (!LoadDocument(loaded, path, error)) {
    if (error.empty()) error = "not a nami document";
    return false;
  }
  Reinitialise();
  for (std::size_t i = 0; i < loaded.LineCount(); ++i) doc_.AddLine(loaded.LineAt(i));
  doc_.Lines().TakeEvictedCount();
  doc_.SetPathName(path);
  doc_.OpenPortFromProfile();
  PortOpened();
  return true;
}

bool CSession::SaveDocument(const std::string& path, std::string& error) {
  if (!nami::SaveDocument(doc_.Lines(), path, error)) {
    if (error.empty()) error = "the document could not be written";
    return false;
  }
  if (path != doc_.PathName()) {
    const std::string oldSection = doc_.Title();
    doc_.SetPathName(path);
    if (doc_.Title() != oldSection) settings_.CopyProfileFrom(oldSection);
  }
  return true;
}

std::string CSession::SaveForTermination(const std::string& folder, std::string& error) {
  std::string path = doc_.PathName();
  if (path.empty()) {
    if (doc_.LineCount() == 0) return {};
    path = folder + "/nami-" + FormatLocalTime("%Y%m%d-%H%M%S", clock_.Now()) + ".nmi";
  }
  if (!nami::SaveDocument(doc_.Lines(), path, error)) {
    if (error.empty()) error = "the document could not be written";
    return {};
  }
  return path;
}

int CSession::Tick() {
  AnnounceSettingsProblem();
  const std::uint64_t before = doc_.Lines().AddedCount();
  core_.Tick();
  CheckPort();
  const std::size_t count = doc_.LineCount();
  const std::size_t added = std::min<std::size_t>(doc_.Lines().AddedCount() - before, count);
  for (std::size_t i = count - added; i < count; ++i) link_.OnLine(doc_.LineAt(i), clock_.Now());
  if (autopilot_) autopilot_->OnTick();
  if (OnLine)
    for (std::size_t i = count - added; i < count; ++i) OnLine(doc_.LineAt(i));
  return static_cast<int>(added);
}

void CSession::AnnounceSettingsProblem() {
  const std::string problem = settings_.File().TakeProblem();
  if (!problem.empty()) relay_.ShowMessage(problem);
}

void CSession::ScheduleTick() {
  if (autopilot_) autopilot_->OnScheduleTimer();
}

void CSession::Shutdown() {
  if (autopilot_) autopilot_->Cancel();
  if (transfers_) transfers_->Cancel();
  doc_.Senders.Clear();
  doc_.ClosePort();
}

}  // namespace nami
