#include "station/Station.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "link/ComConfig.h"
#include "link/LinkAddress.h"
#include "link/LinkPort.h"
#include "settings/LinkPasswords.h"
#include "sim/DemoPort.h"
#include "station/ReadMarks.h"
#include "document/DocumentFile.h"
#include "text/Cp932.h"
#include "text/IniPath.h"
#include "text/Messages.h"

namespace nami {

void CStation::CRelay::ShowMessage(const std::string& text) {
  if (events) events->ShowMessage(text);
}
void CStation::CRelay::Beep() {
  if (events) events->Beep();
}
void CStation::CRelay::DrawDirect() {
  if (events) events->DrawDirect();
}
void CStation::CRelay::InvalidateAll() {
  if (events) events->InvalidateAll();
}
void CStation::CRelay::ScrollLines(int lines) {
  if (events) events->ScrollLines(lines);
}
void CStation::CRelay::RedrawBottomRow(bool clearRest) {
  if (events) events->RedrawBottomRow(clearRest);
}
void CStation::CRelay::OnLine(std::string_view line) {
  if (events) events->LineReceived(line);
}

CStation::CStation(CSettings& settings, IClock& clock, bool demo, PasswordLookup password)
    : settings_(settings),
      clock_(clock),
      demo_(demo),
      password_(std::move(password)),
      activity_(clock),
      mailbox_(settings, clock, activity_),
      link_(clock),
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
  WireParts();
  InstallLinkPort();
  autopilot_.SetRecord(&mailbox_);
}

CStation::~CStation() {
  Shutdown();
  autopilot_.SetRecord(nullptr);
  doc_.SetReceiveListener(ReceiveSlot::Link, nullptr);
  doc_.SetReceiveListener(ReceiveSlot::Shell, nullptr);
}

void CStation::WireParts() {
  // Every received line reaches the link state and then the shell, after
  // the capture, the logs and the automatic responses.
  doc_.SetReceiveListener(ReceiveSlot::Link, &link_);
  doc_.SetReceiveListener(ReceiveSlot::Shell, &relay_);
  activity_.Listen([this](const ActivityEntry& entry) {
    if (relay_.events) relay_.events->ActivityAdded(entry);
  });
  autopilot_.OnRunEnd = [this](const RunSummary& summary) {
    if (relay_.events) relay_.events->RunEnded(autopilot_.LastEnd(), summary);
  };
  WireReadMarks(settings_, autopilot_.MailReader());
  autopilot_.OnWriteFailure = [this](const std::string& reason) {
    if (relay_.events) relay_.events->WriteFailure(reason);
  };
  // A write that found the port gone: the next tick reports the lost link.
  doc_.Sending().OnPortLost([this] {
    if (relay_.events) relay_.events->PortChanged();
  });
}

void CStation::InstallLinkPort() {
  SLinkHooks hooks;
  hooks.device = [this](const std::string& com) { return settings_.DevicePath(com); };
  hooks.myCall = [this] { return settings_.MyCall(); };
  hooks.setMyCall = [this](const std::string& call) { settings_.SetMyCall(call); };
  hooks.password = [this](const std::string& link, FileFault& fault) {
    if (password_) return password_(link, fault);
    return ReadLinkPasswordFile(LinkPasswordFile(settings_.Path()), link, fault);
  };
  hooks.localEcho = [this] { return settings_.Raw(keys::Echo) == "enable"; };
  hooks.simulator = [this](bool echo) { return MakeDemoPort(clock_, echo); };
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
  const std::string com = settings_.Get(keys::ComStatus);
  const std::string name = com.substr(0, com.find(':'));
  const std::string path = settings_.DevicePath(name);
  if (ParseLinkAddress(path).kind == LinkKind::Sim) return portName_ = msg::Simulator;
  return portName_ = path.empty() ? Cp932ToUtf8(name) : path;  // a device path or link value (file-system name)
}

void CStation::ReopenPort() {
  autopilot_.Cancel();
  transfers_.Cancel();
  doc_.Sending().Clear();
  link_.Reset();
  portName_.clear();
  doc_.ClosePort();
  doc_.OpenPortFromProfile();
  PortOpened();
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
  if (relay_.events) relay_.events->PortChanged();
}

void CStation::Notice(const std::string& text) {
  if (relay_.events) relay_.events->Notice(text);
}

void CStation::CheckPort() {
  IPort* port = doc_.Port();
  if (!port) return;
  if (port->TakeLost()) {
    const std::string why = port->Failure();
    relay_.ShowMessage(msg::Format(msg::LinkLost, {{"reason", why}}));
    transfers_.OnPortLost(why);
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
    if (relay_.events) relay_.events->PortChanged();
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
  const int added = static_cast<int>(std::min<std::uint64_t>(doc_.Lines().AddedCount() - before, doc_.Lines().LineCount()));
  autopilot_.OnTick();
  FollowRun();
  if (relay_.events) {
    if (added > 0) relay_.events->LinesAdded(added);
    relay_.events->ProgressChanged();
  }
  return added;
}

void CStation::FollowRun() {
  const bool running = autopilot_.Busy();
  if (running && !running_ && relay_.events) relay_.events->RunStarted();
  running_ = running;
}

void CStation::Run(AutoCommand command) {
  autopilot_.Run(command);
  FollowRun();
}

void CStation::OnMinuteTimer() {
  autopilot_.OnScheduleTimer();
  FollowRun();
}

int CStation::NextRunMinute() const {
  const int minute = autopilot_.NextRunMinute();
  if (settings_.GetInt(keys::Min) == -1 || minute < 0 || minute > 59) return -1;
  return minute;
}

bool CStation::Busy() const {
  return autopilot_.Busy() || transfers_.Uploading() || transfers_.Capturing() || transfers_.PasteSending() ||
         Sending();
}

std::string CStation::Progress() const {
  const std::string step = autopilot_.StatusText();
  const std::string sending = transfers_.ProgressText();
  if (sending.empty()) return step;
  return step.empty() ? sending : step + "  " + sending;
}

bool CStation::Transferring(Transfer transfer) const {
  switch (transfer) {
    case Transfer::Paste:
      return transfers_.PasteSending();
    case Transfer::Upload:
      return transfers_.Uploading();
    case Transfer::Capture:
      return transfers_.Capturing();
  }
  return false;
}

void CStation::StopTransfer(Transfer transfer) {
  switch (transfer) {
    case Transfer::Paste:
      transfers_.StopPasteSend();
      return;
    case Transfer::Upload:
      transfers_.StopUpload();
      return;
    case Transfer::Capture:
      transfers_.StopCapture();
      return;
  }
}

bool CStation::Type(const KeyStroke& key) {
  const std::string bytes = KeyBytes(key);
  if (bytes.empty()) return false;
  TypeText(bytes);
  return true;
}

void CStation::TypeText(std::string_view cp932) {
  for (unsigned char b : cp932) core_.Key(b);
}

CaretPos CStation::DrawTerminal(IDrawSurface& surface, int lineHeight, int paneHeight) const {
  const std::string current = core_.CurrentLine();
  const std::string_view currentView(current);
  return DrawNewestLines(doc_.Lines(), surface, lineHeight, paneHeight, &currentView);
}

CStation::LinkStatus CStation::Status() const {
  LinkStatus status;
  status.portOpen = doc_.PortOpen();
  if (!status.portOpen) status.portFailure = doc_.PortFailure();
  status.phase = link_.Phase();
  status.text = link_.Text(clock_.Now());
  return status;
}

int CStation::PollFd() {
  IPort* port = doc_.Port();
  return port && port->IsOpen() ? port->PollFd() : -1;
}

std::int64_t CStation::PortWakeInMs() {
  IPort* port = doc_.Port();
  if (!port || !port->IsOpen()) return IPort::kPolled;
  const std::int64_t at = port->NextEventMs();
  if (at < 0) return at;
  return std::max<std::int64_t>(0, at - clock_.MonotonicMs());
}

bool CStation::PortWantsWritable() {
  IPort* port = doc_.Port();
  return port && port->IsOpen() && port->WantsWritable();
}

void CStation::AnnounceSettingsProblem() {
  const std::string problem = settings_.File().TakeProblem();
  if (!problem.empty()) relay_.ShowMessage(problem);
}

void CStation::StopForShutdown() {
  autopilot_.Cancel();
  transfers_.Cancel();
  doc_.Sending().Clear();
  // What is queued for the port (a log-off) goes first, then the link ends.
  doc_.Sending().Step();
}

void CStation::Shutdown(int releaseMs) {
  if (releasing_) {
    // Asked again while the link was being released: no more waiting.
    releasing_ = false;
    doc_.ClosePort();
    return;
  }
  StopForShutdown();
  if (IPort* port = doc_.Port(); port && port->IsOpen()) port->Release(releaseMs);
  doc_.ClosePort();
}

bool CStation::BeginShutdown(int releaseMs) {
  if (releasing_) return true;
  StopForShutdown();
  IPort* port = doc_.Port();
  releasing_ = port && port->IsOpen() && port->BeginRelease(releaseMs);
  if (!releasing_) doc_.ClosePort();
  return releasing_;
}

bool CStation::ShutdownStep() {
  if (!releasing_) return true;
  if (IPort* port = doc_.Port(); port && port->IsOpen() && !port->ReleaseStep()) return false;
  releasing_ = false;
  doc_.ClosePort();
  return true;
}

void CStation::Terminate(int finishMs) {
  CSendEngine& sending = doc_.Sending();
  using Steady = std::chrono::steady_clock;
  const auto deadline = Steady::now() + std::chrono::milliseconds(finishMs);
  while (autopilot_.SendingFile() && doc_.PortOpen() && Steady::now() < deadline) {
    sending.Run();
    Tick();
    pollfd fds[2] = {{PollFd(), POLLIN, 0}, {sending.ReadyFd(), POLLIN, 0}};
    const std::int64_t wake = PortWakeInMs();
    int ms = sending.TimerMs() >= 0 ? sending.TimerMs() : 100;
    if (wake >= 0) ms = static_cast<int>(std::min<std::int64_t>(ms, wake));
    if (wake == IPort::kPolled) ms = std::min(ms, 50);
    ::poll(fds, 2, ms);
  }
  autopilot_.EndForTermination();
  Tick();
}

}  // namespace nami
