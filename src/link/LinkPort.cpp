#include "link/LinkPort.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "link/AgwFarSide.h"
#include "link/ComConfig.h"
#include "link/KissFarSide.h"
#include "link/SerialPort.h"
#include "link/TelnetFarSide.h"
#include "text/Messages.h"

namespace nami {

CTnc2Port::CTnc2Port(IClock& clock, std::unique_ptr<IFarSide> far, STnc2Options options)
    : clock_(clock), far_(std::move(far)), engine_(*far_, clock, std::move(options)) {}

void CTnc2Port::Release(int timeoutMs) {
  if (!BeginRelease(timeoutMs)) return;
  while (!ReleaseStep()) {
    std::int64_t ms = 100;
    if (const std::int64_t next = engine_.NextEventMs(); next >= 0)
      ms = std::clamp<std::int64_t>(next - clock_.MonotonicMs(), 1, ms);
    pollfd p{far_->PollFd(), static_cast<short>(POLLIN | (far_->WantsWritable() ? POLLOUT : 0)), 0};
    ::poll(&p, p.fd >= 0 ? 1 : 0, static_cast<int>(ms));
  }
}

bool CTnc2Port::BeginRelease(int timeoutMs) {
  if (!open_) return false;
  // Real time bounds the wait, whatever clock the engine runs on.
  releaseEnd_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(timeoutMs, engine_.ReleaseMs()));
  engine_.EndLink();
  return !ReleaseStep();
}

bool CTnc2Port::ReleaseStep() {
  if (!open_) return true;
  // The far side's I/O and timers until the link is down and the socket has
  // taken the last frame; what the TNC prints meanwhile is not read.
  engine_.Service();
  engine_.DiscardOutput();
  return (!engine_.LinkActive() && !far_->WantsWritable()) || std::chrono::steady_clock::now() >= releaseEnd_;
}

bool CTnc2Port::Open(const std::string&) {
  engine_.PowerOn();
  open_ = true;
  return true;
}

std::size_t CTnc2Port::ReadAvailable(char* buffer, std::size_t capacity) {
  if (!open_) return 0;
  std::string out;
  std::size_t n = engine_.TakeDue(out, capacity);
  out.copy(buffer, n);
  return n;
}

std::size_t CTnc2Port::SendText(std::string_view bytes) {
  if (!open_) return 0;
  engine_.Receive(bytes);
  return bytes.size();
}

int CTnc2Port::TransmitQueueCount() { return open_ ? engine_.TransmitQueueCount() : 0; }

void CTnc2Port::Close() {
  if (open_) far_->Close();
  open_ = false;
}

CLinkPort::CLinkPort(IClock& clock, SLinkHooks hooks) : clock_(clock), hooks_(std::move(hooks)) {}

std::unique_ptr<IPort> CLinkPort::Make(const SLinkAddress& a, IClock& clock, const SLinkHooks& hooks,
                                       const std::string& value, std::string& error) {
  STnc2Options options;
  options.myCall = hooks.myCall ? hooks.myCall() : std::string();
  options.echo = !(hooks.localEcho && hooks.localEcho());
  if (!CTnc2Engine::IsCall(options.myCall)) options.myCall = "NOCALL";
  // Bytes without a CR wait as long as a TNC2's PACTIME before they go out
  // alone, so that typed or uploaded text travels in whole lines.
  options.pacTimeMs = 1000;
  std::unique_ptr<IFarSide> far;
  switch (a.kind) {
    case LinkKind::Serial: {
      std::string path = a.path;
      return std::make_unique<CSerialPort>([path](const std::string&) { return path; });
    }
    case LinkKind::Sim:
      if (!hooks.simulator) break;
      return hooks.simulator(options.echo);
    case LinkKind::Agw:
      far = std::make_unique<CAgwFarSide>(a.Text(), a.host, a.port, a.radioPort);
      break;
    case LinkKind::Telnet: {
      // Looked up here, when the port is made, and not in the middle of a
      // read: a keyring lookup may run a nested event loop.
      FileFault kept;
      std::string password = hooks.password ? hooks.password(value, kept) : std::string();
      far = std::make_unique<CTelnetFarSide>(a.Text(), a.host, a.port, [password, kept](FileFault& fault) {
        fault = kept;
        return password;
      });
      break;
    }
    case LinkKind::Kiss: {
      SKissEndpoint e;
      e.kind = a.path.empty() ? SKissEndpoint::EKind::Tcp : SKissEndpoint::EKind::Serial;
      e.host = a.host;
      e.port = a.port;
      e.channel = a.radioPort;
      e.device = a.path;
      auto stream = a.path.empty() ? MakeTcpStream(e.host, e.port, e.ToString()) : MakeSerialStream(e.device, {});
      far = std::make_unique<CKissFarSide>(clock, e, std::move(stream));
      break;
    }
    case LinkKind::Invalid:
      error = a.error;
      return nullptr;
  }
  if (!far) {
    error = msg::Format(msg::KindNotAvailable, {{"value", value}});
    return nullptr;
  }
  auto port = std::make_unique<CTnc2Port>(clock, std::move(far), options);
  if (hooks.setMyCall) port->Engine().OnMyCallChanged = hooks.setMyCall;
  return port;
}

bool CLinkPort::Open(const std::string& comstatus) {
  Close();
  error_.clear();
  const std::string com = ParseComConfig(comstatus).device;
  const std::string value = hooks_.device ? hooks_.device(com) : std::string();
  // The simulator named again keeps its BBS and the mail in it; any other
  // link is made afresh (a changed MYCALL or password takes effect).
  if (!inner_ || value != value_ || kind_ != LinkKind::Sim) {
    inner_.reset();
    const SLinkAddress address = ParseLinkAddress(value);
    kind_ = address.kind;
    value_ = value;
    inner_ = Make(address, clock_, hooks_, value, error_);
  }
  if (auto* tnc = dynamic_cast<CTnc2Port*>(inner_.get()); tnc && hooks_.myCall)
    tnc->Engine().SetMyCall(CTnc2Engine::IsCall(hooks_.myCall()) ? hooks_.myCall() : "NOCALL");
  if (!inner_) {
    error_ = com + " " + error_;
    return false;
  }
  // A KISS TNC on a serial device takes the line settings of "comstatus".
  if (auto* tnc = dynamic_cast<CTnc2Port*>(inner_.get()))
    if (auto* kiss = dynamic_cast<CKissFarSide*>(&tnc->Far())) kiss->SetLineSettings(comstatus);
  if (!inner_->Open(comstatus)) {
    const std::string why = inner_->Failure();
    // A serial port's reason already begins with its device: name it once.
    const bool named = why.rfind(value + ":", 0) == 0;
    const std::string port = com + (named ? std::string() : " \"" + value + "\"");
    error_ =
        msg::Format(why.empty() ? msg::CannotBeOpened : msg::CannotBeOpenedBecause, {{"port", port}, {"reason", why}});
    return false;
  }
  return true;
}

std::size_t CLinkPort::ReadAvailable(char* buffer, std::size_t capacity) {
  return inner_ ? inner_->ReadAvailable(buffer, capacity) : 0;
}

std::size_t CLinkPort::SendText(std::string_view bytes) { return inner_ ? inner_->SendText(bytes) : 0; }

std::size_t CLinkPort::TrySendText(std::string_view bytes) { return inner_ ? inner_->TrySendText(bytes) : 0; }

std::string CLinkPort::Failure() const {
  if (!error_.empty()) return error_;
  return inner_ ? inner_->Failure() : std::string();
}

SPortError CLinkPort::Error() const {
  if (!inner_) return error_.empty() ? SPortError{} : SPortError{PortFault::Settings, 0, 0};
  return inner_->Error();
}

int CLinkPort::TransmitQueueCount() { return inner_ ? inner_->TransmitQueueCount() : 0; }

void CLinkPort::Close() {
  if (inner_) inner_->Close();
}

}  // namespace nami
