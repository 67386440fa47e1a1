#include "station/Station.h"

#include <algorithm>

#include "link/ComConfig.h"
#include "link/LinkPort.h"
#include "settings/LinkPasswords.h"
#include "sim/DemoPort.h"
#include "document/DocumentFile.h"
#include "text/Cp932.h"
#include "text/IniPath.h"
#include "text/Messages.h"

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

CStation::CStation(CSettings& settings, IClock& clock, bool demo, PasswordLookup password)
    : settings_(settings),
      clock_(clock),
      demo_(demo),
      password_(std::move(password)),
      activity_(clock),
      doc_(settings, relay_),
      core_(doc_),
      autopilot_(doc_, clock_),
      transfers_(doc_, clock_) {
  doc_.SetPathName("");
  doc_.SetActivity(&activity_);
  if (demo_) {
    FillDemoProfile(settings_);
    PrepareDemoStation(settings_);
  }
  InstallLinkPort();
}

CStation::~CStation() { Shutdown(); }

void CStation::InstallLinkPort() {
  SLinkHooks hooks;
  hooks.device = [this](const std::string& com) { return settings_.DevicePath(com); };
  hooks.myCall = [this] { return settings_.MyCall(); };
  hooks.setMyCall = [this](const std::string& call) { settings_.SetMyCall(call); };
  hooks.password = [this](const std::string& link, FileFault& fault) {
    if (password_) return password_(link, fault);
    return ReadLinkPasswordFile(LinkPasswordFile(settings_.Path()), link, fault);
  };
  hooks.simulator = [this] { return MakeDemoPort(clock_); };
  doc_.SetPort(std::make_unique<CLinkPort>(clock_, std::move(hooks)));
}

void CStation::SetPort(std::unique_ptr<IPort> port) { doc_.SetPort(std::move(port)); }

void CStation::Reinitialise() {
  autopilot_.Cancel();
  transfers_.Reinitialise();
  doc_.Sending().Clear();
  doc_.Lines().Clear();
  doc_.Lines().TakeEvictedCount();
  core_.Reset();
  link_.Reset();  // the port is opened again
  portName_.clear();
}

const std::string& CStation::PortName() {
  // Asked for by the status bar several times a second: worked out once per
  // opening of the port (the settings are read from the file at each use).
  if (!portName_.empty()) return portName_;
  if (demo_) return portName_ = msg::Simulator;
  const std::string com = settings_.Get(keys::ComStatus);
  const std::string name = com.substr(0, com.find(':'));
  const std::string path = settings_.DevicePath(name);
  return portName_ = path.empty() ? Cp932ToUtf8(name) : path;  // a device path or link value (file-system name)
}

void CStation::NewDocument() {
  Reinitialise();
  doc_.SetPathName("");
  if (demo_) FillDemoProfile(settings_);
  doc_.OpenPortFromProfile();
  PortOpened();
}

void CStation::PortOpened() {
  waiting_ = !doc_.PortOpen();
  waitSaid_ = false;
  reopenAtMs_ = clock_.MonotonicMs() + kReopenMs;
}

void CStation::Notice(const std::string& text) {
  if (OnNotice) OnNotice(text);
}

void CStation::CheckPort() {
  IPort* port = doc_.Port();
  if (!port) return;
  if (port->TakeLost()) {
    const std::string why = port->Failure();
    relay_.ShowMessage(msg::Format(msg::LinkLost, {{"reason", why}}));
    autopilot_.OnLinkLost(why);
    PortOpened();
  }
  if (reopen_ && waiting_ && clock_.MonotonicMs() >= reopenAtMs_) ReopenIfDue(*port);
}

void CStation::ReopenIfDue(IPort& port) {
  reopenAtMs_ = clock_.MonotonicMs() + kReopenMs;
  if (port.Open(settings_.Get(keys::ComStatus))) {
    waiting_ = false;
    Notice(msg::Format(msg::PortOpenAgain,
                       {{"device", settings_.DevicePath(ParseComConfig(settings_.Get(keys::ComStatus)).device)}}));
    return;
  }
  if (!waitSaid_) {
    waitSaid_ = true;
    Notice(
        msg::Format(msg::WaitingForPort, {{"reason", port.Failure()}, {"seconds", std::to_string(kReopenMs / 1000)}}));
  }
}

bool CStation::OpenDocument(const std::string& path, FileFault& fault) {
  // The name becomes a NAMI.INI section, which is CP932.
  if (!DocumentNameStorable(path)) {
    fault = FileFault{FileFaultKind::Unstorable, 0, path};
    return false;
  }
  CLineStore loaded;
  if (!LoadDocument(loaded, path, fault)) return false;
  Reinitialise();
  for (std::size_t i = 0; i < loaded.LineCount(); ++i) doc_.Lines().AddLine(loaded.LineAt(i));
  doc_.Lines().TakeEvictedCount();
  doc_.SetPathName(path);
  doc_.OpenPortFromProfile();
  PortOpened();
  return true;
}

bool CStation::SaveDocument(const std::string& path, FileFault& fault) {
  if (!nami::SaveDocument(doc_.Lines(), path, fault)) return false;
  if (path != doc_.PathName()) {
    const std::string oldSection = doc_.Title();
    doc_.SetPathName(path);
    if (doc_.Title() != oldSection) settings_.CopyProfileFrom(oldSection);
  }
  return true;
}

std::string CStation::SaveForTermination(const std::string& folder, FileFault& fault) {
  std::string path = doc_.PathName();
  if (path.empty()) {
    if (doc_.Lines().LineCount() == 0) return {};
    path = folder + "/nami-" + FormatLocalTime("%Y%m%d-%H%M%S", clock_.Now()) + ".nmi";
  }
  if (!nami::SaveDocument(doc_.Lines(), path, fault)) return {};
  return path;
}

int CStation::Tick() {
  AnnounceSettingsProblem();
  const std::uint64_t before = doc_.Lines().AddedCount();
  core_.Tick();
  CheckPort();
  const std::size_t count = doc_.Lines().LineCount();
  const std::size_t added = std::min<std::size_t>(doc_.Lines().AddedCount() - before, count);
  for (std::size_t i = count - added; i < count; ++i) link_.OnLine(doc_.Lines().LineAt(i), clock_.Now());
  autopilot_.OnTick();
  if (OnLine)
    for (std::size_t i = count - added; i < count; ++i) OnLine(doc_.Lines().LineAt(i));
  return static_cast<int>(added);
}

void CStation::AnnounceSettingsProblem() {
  const std::string problem = settings_.File().TakeProblem();
  if (!problem.empty()) relay_.ShowMessage(problem);
}

void CStation::ScheduleTick() { autopilot_.OnScheduleTimer(); }

void CStation::Shutdown() {
  autopilot_.Cancel();
  transfers_.Cancel();
  doc_.Sending().Clear();
  doc_.ClosePort();
}

}  // namespace nami
