#include "link/KissFarSide.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ax25/Frame.h"
#include "link/SerialPort.h"
#include "link/TcpLink.h"

namespace nami {
namespace {

constexpr std::int64_t kReopenMs = 5000;
// The radio channel's rate, for the frames' airtime.
constexpr int kBitsPerSecond = 1200;

bool ParseInt(std::string_view text, int min, int max, int& value) {
  if (text.empty() || text.size() > 5) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return false;
  value = v;
  return true;
}

// The TCP connection of the network link kinds, as the KISS far side's
// byte stream. Errors are given without the link's name: the far side puts
// its endpoint in front of them.
class CTcpStream final : public IByteStream {
 public:
  CTcpStream(std::string host, int port, std::string name)
      : host_(std::move(host)), port_(port), link_(std::move(name)) {}

  bool Open(std::string& error) override {
    unreported_ = false;
    if (link_.Connect(host_, port_)) return true;
    error = Why();
    return false;
  }

  bool Poll(std::string& error) override {
    if (link_.GetState() == CTcpLink::State::Closed) {
      // A write that found the connection gone closed it: say so once.
      if (!unreported_) return true;
      unreported_ = false;
      error = Why();
      return false;
    }
    if (link_.Poll()) return true;
    error = Why();
    return false;
  }

  bool Read(std::string& into, std::size_t max, std::string& error) override {
    if (!link_.IsOpen() || max == 0) return true;
    if (link_.Read(into, max)) return true;
    error = Why();
    return false;
  }

  void Write(std::string_view bytes) override {
    const bool wasUp = link_.GetState() != CTcpLink::State::Closed;
    link_.Write(bytes);
    if (wasUp && link_.GetState() == CTcpLink::State::Closed) unreported_ = true;
  }

  std::size_t Unsent() const override { return link_.Unsent(); }

  void Close() override {
    link_.Close();
    unreported_ = false;
  }
  bool IsOpen() const override { return link_.IsOpen(); }
  bool IsOpening() const override { return link_.GetState() == CTcpLink::State::Connecting; }
  int Fd() const override { return link_.Fd(); }
  bool WantsWritable() const override { return link_.WantsWritable(); }

 private:
  std::string Why() const {
    const std::string prefix = link_.Name() + ": ";
    const std::string& e = link_.Error();
    return e.compare(0, prefix.size(), prefix) == 0 ? e.substr(prefix.size()) : e;
  }

  std::string host_;
  int port_;
  CTcpLink link_;
  bool unreported_ = false;
};

class CSerialStream final : public IByteStream {
 public:
  CSerialStream(std::string device, std::string comstatus)
      : device_(std::move(device)),
        comstatus_(std::move(comstatus)),
        port_([this](const std::string&) { return device_; }) {}

  bool Open(std::string& error) override {
    // The port name in "comstatus" only picks the device; here it is ours.
    std::string cfg = comstatus_.empty() ? "COM1:9600,n,8,1,n" : comstatus_;
    if (!port_.Open(cfg)) {
      error = "cannot open " + port_.Failure();
      return false;
    }
    return true;
  }
  void SetLineSettings(const std::string& comstatus) override { comstatus_ = comstatus; }
  bool Poll(std::string&) override { return true; }
  bool Read(std::string& into, std::size_t max, std::string&) override {
    char buf[4096];
    std::size_t n;
    std::size_t total = 0;
    while (total < max && (n = port_.ReadAvailable(buf, std::min(sizeof buf, max - total))) > 0) {
      into.append(buf, n);
      total += n;
    }
    return true;
  }
  void Write(std::string_view bytes) override {
    while (!bytes.empty() && port_.IsOpen()) {
      const std::size_t n = port_.SendText(bytes);
      if (n == 0) break;
      bytes.remove_prefix(n);
    }
  }
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  int Fd() const override { return port_.PollFd(); }

 private:
  std::string device_;
  std::string comstatus_;
  CSerialPort port_;
};

}  // namespace

std::string SKissEndpoint::ToString() const {
  if (kind == EKind::Serial) return "kiss:" + device;
  return "kiss://" + host + ":" + std::to_string(port) + "/" + std::to_string(channel);
}

bool IsKissDevice(std::string_view text) { return text.substr(0, 5) == "kiss:"; }

std::optional<SKissEndpoint> ParseKissDevice(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<SKissEndpoint> {
    if (error) *error = std::string(text) + ": " + why;
    return std::nullopt;
  };
  if (!IsKissDevice(text)) return fail("not a KISS link (kiss://HOST:PORT or kiss:DEVICE)");
  SKissEndpoint e;
  if (text.substr(0, 7) != "kiss://") {
    e.kind = SKissEndpoint::EKind::Serial;
    e.device = std::string(text.substr(5));
    if (e.device.empty()) return fail("no serial device given");
    return e;
  }
  std::string_view rest = text.substr(7);
  if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
    if (!ParseInt(rest.substr(slash + 1), 0, 15, e.channel)) return fail("the KISS channel must be 0 to 15");
    rest = rest.substr(0, slash);
  }
  // [v6::addr]:port, host:port or host.
  std::string_view host = rest;
  std::string_view port;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return fail("unclosed [ in the host");
    host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') return fail("expected :PORT after the host");
      port = rest.substr(close + 2);
    }
  } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
  }
  if (host.empty()) return fail("no host given");
  e.host = std::string(host);
  if (!port.empty() && !ParseInt(port, 1, 65535, e.port)) return fail("the TCP port must be 1 to 65535");
  return e;
}

std::unique_ptr<IByteStream> MakeTcpStream(const std::string& host, int port, const std::string& name) {
  return std::make_unique<CTcpStream>(host, port, name);
}

std::unique_ptr<IByteStream> MakeSerialStream(const std::string& device, const std::string& comstatus) {
  return std::make_unique<CSerialStream>(device, comstatus);
}

// ---- the far side ----

CKissFarSide::CKissFarSide(IClock& clock, SKissEndpoint endpoint, std::unique_ptr<IByteStream> stream)
    : clock_(clock),
      endpoint_(std::move(endpoint)),
      stream_(std::move(stream)),
      link_(clock, *this),
      deframer_(endpoint_.channel, ax25::kMaxFrameBytes) {
  params_.conOk = false;
  ApplyLinkParams();
}

CKissFarSide::~CKissFarSide() = default;

std::string CKissFarSide::SignOn(const std::string& myCall) const {
  return "nami TNC2 on " + endpoint_.ToString() + " (AX.25 in nami), MYCALL " + myCall;
}

void CKissFarSide::ApplyLinkParams() {
  params_.bitsPerSecond = kBitsPerSecond;
  // TXDELAY, and on average three slots of waiting for the channel.
  params_.keyUpMs = txDelay_ * 10 + 3 * slotTime_ * 10;
  // Acknowledge once the peer's next frame would have had time to arrive, so
  // that one RR answers a whole burst.
  const int frameMs = (params_.pacLen + 40) * 8 * 1000 / kBitsPerSecond;
  params_.t2Ms = std::max(respTimeMs_, frameMs + 200);
  link_.SetParams(params_);
}

bool CKissFarSide::SetMyCall(const std::string& call) {
  const auto address = ax25::SAddress::Parse(call);
  if (!address) return false;
  link_.SetMyCall(*address);
  return true;
}

bool CKissFarSide::SetParameter(ETncParam param, int value) {
  switch (param) {
    case ETncParam::Monitor:
      monitor_ = value != 0;
      return true;
    case ETncParam::FullDup:
      fullDup_ = value != 0;
      SendKissParameter(ax25::EKissCommand::FullDuplex, value);
      return true;
    case ETncParam::TxDelay:
      txDelay_ = value;
      SendKissParameter(ax25::EKissCommand::TxDelay, value);
      break;
    case ETncParam::Persist:
      persist_ = value;
      SendKissParameter(ax25::EKissCommand::Persist, value);
      break;
    case ETncParam::SlotTime:
      slotTime_ = value;
      SendKissParameter(ax25::EKissCommand::SlotTime, value);
      break;
    case ETncParam::ConOk:
      params_.conOk = value != 0;
      break;
    case ETncParam::PacLen:
      params_.pacLen = value;
      break;
    case ETncParam::MaxFrame:
      params_.maxFrame = value;
      break;
    case ETncParam::Retry:
      params_.retries = value == 0 ? 127 : value;  // 0: keep trying (as long as the link allows)
      break;
    case ETncParam::Frack:
      params_.frackMs = value * 1000;
      break;
    case ETncParam::RespTime:
      respTimeMs_ = value * 100;
      break;
    default:
      return true;  // means nothing here
  }
  ApplyLinkParams();
  return true;
}

// A changed KISS parameter goes to the TNC at once; the others follow it
// when it is (re)opened.
void CKissFarSide::SendKissParameter(ax25::EKissCommand command, int value) {
  if (paramsSent_ && stream_->IsOpen())
    stream_->Write(ax25::KissParameter(command, static_cast<std::uint8_t>(value), endpoint_.channel));
}

void CKissFarSide::SendKissParameters() {
  const int ch = endpoint_.channel;
  stream_->Write(ax25::KissParameter(ax25::EKissCommand::TxDelay, static_cast<std::uint8_t>(txDelay_), ch) +
                 ax25::KissParameter(ax25::EKissCommand::Persist, static_cast<std::uint8_t>(persist_), ch) +
                 ax25::KissParameter(ax25::EKissCommand::SlotTime, static_cast<std::uint8_t>(slotTime_), ch) +
                 ax25::KissParameter(ax25::EKissCommand::FullDuplex, fullDup_ ? 1 : 0, ch));
  paramsSent_ = true;
}

bool CKissFarSide::EnsureOpen(std::string& error) {
  if (stream_->IsOpen() || stream_->IsOpening()) return true;
  paramsSent_ = false;
  if (!stream_->Open(error)) {
    reopenAt_ = clock_.MonotonicMs() + kReopenMs;
    return false;
  }
  reopenAt_ = -1;
  if (stream_->IsOpen()) SendKissParameters();
  return true;
}

void CKissFarSide::Later(std::function<void(IFarSideEvents&, std::int64_t)> event) {
  pending_.push_back(std::move(event));
}

void CKissFarSide::Reset() {
  link_.Abort();
  pending_.clear();
  linkWanted_ = false;
  std::string error;
  EnsureOpen(error);  // a TNC not there yet is tried again; CONNECT reports it
}

void CKissFarSide::Close() {
  link_.Abort();
  pending_.clear();
  linkWanted_ = false;
  stream_->Close();
  paramsSent_ = false;
  reopenAt_ = -1;
}

void CKissFarSide::Connect(const std::string& call, const std::vector<std::string>& via) {
  const auto peer = ax25::SAddress::Parse(call);
  std::vector<ax25::SAddress> path;
  for (const auto& v : via) {
    const auto d = ax25::SAddress::Parse(v);
    if (!d || path.size() == ax25::kMaxDigis) {
      Later([v](IFarSideEvents& e, std::int64_t at) { e.OnFailure(at, "not a digipeater call: " + v); });
      return;
    }
    path.push_back(*d);
  }
  if (!peer) {
    Later([call](IFarSideEvents& e, std::int64_t at) { e.OnFailure(at, "not a callsign: " + call); });
    return;
  }
  std::string error;
  if (!EnsureOpen(error)) {
    const std::string why = endpoint_.ToString() + ": " + error;
    Later([why](IFarSideEvents& e, std::int64_t at) { e.OnFailure(at, why); });
    return;
  }
  if (stream_->IsOpen()) {
    if (!link_.Connect(*peer, path)) Later([](IFarSideEvents& e, std::int64_t at) { e.OnDisconnected(at); });
  } else {
    linkWanted_ = true;  // once the connection to the TNC is made
    wantedPeer_ = *peer;
    wantedVia_ = path;
  }
}

void CKissFarSide::Disconnect() {
  if (linkWanted_ || link_.State() == ax25::ELinkState::Disconnected) {
    linkWanted_ = false;
    Later([](IFarSideEvents& e, std::int64_t at) { e.OnDisconnected(at); });
    return;
  }
  link_.Disconnect();
}

bool CKissFarSide::SendData(std::string_view bytes) { return link_.Send(bytes); }

void CKissFarSide::StreamLost(const std::string& error) {
  stream_->Close();
  deframer_.EndOfStream();
  paramsSent_ = false;
  reopenAt_ = clock_.MonotonicMs() + kReopenMs;
  if (linkWanted_ || link_.State() != ax25::ELinkState::Disconnected) {
    link_.Abort();
    linkWanted_ = false;
    const std::string why = endpoint_.ToString() + ": " + error;
    Later([why](IFarSideEvents& e, std::int64_t at) { e.OnFailure(at, why); });
  }
}

void CKissFarSide::Poll(std::int64_t nowMs) {
  if (!stream_->IsOpen() && !stream_->IsOpening() && reopenAt_ >= 0 && nowMs >= reopenAt_) {
    std::string error;
    EnsureOpen(error);
  }
  std::string error;
  if ((stream_->IsOpen() || stream_->IsOpening()) && !stream_->Poll(error)) StreamLost(error);
  if (stream_->IsOpen()) {
    if (!paramsSent_) SendKissParameters();
    if (linkWanted_) {
      linkWanted_ = false;
      link_.Connect(wantedPeer_, wantedVia_);
    }
    readBuf_.clear();
    const bool alive = stream_->Read(readBuf_, inputRoom_, error);
    frames_.clear();
    deframer_.Feed(readBuf_, frames_);
    for (const std::string& bytes : frames_) {
      link_.ChannelHeard(bytes.size());
      auto frame = ax25::Decode(bytes);
      if (!frame) {
        ++counts_.badFrames;
        continue;
      }
      ++counts_.framesIn;
      if (monitor_ && !link_.IsUp()) {
        const std::string line = ax25::MonitorLine(*frame);
        Later([line](IFarSideEvents& e, std::int64_t at) { e.OnMonitor(at, line); });
      }
      link_.Receive(*frame);
    }
    if (!alive) StreamLost(error);
  }
  link_.Tick();
  while (!pending_.empty() && events_) {
    auto event = std::move(pending_.front());
    pending_.pop_front();
    event(*events_, nowMs);
  }
}

std::int64_t CKissFarSide::NextEventMs() const {
  if (!pending_.empty()) return clock_.MonotonicMs();
  // A TCP connect in progress completes without making the socket readable.
  if (stream_->IsOpening()) return clock_.MonotonicMs() + 20;
  std::int64_t next = link_.NextTimerMs();
  if (reopenAt_ >= 0 && !stream_->IsOpen() && (next < 0 || reopenAt_ < next)) next = reopenAt_;
  return next;
}

CKissFarSide::SCounts CKissFarSide::Counts() const {
  SCounts c = counts_;
  c.kissDropped = deframer_.Counts().dropped();
  return c;
}

std::string CKissFarSide::PeerText() const {
  std::string s = link_.Peer().ToString();
  for (std::size_t i = 0; i < link_.Path().size(); ++i) s += (i == 0 ? " VIA " : ",") + link_.Path()[i].ToString();
  return s;
}

// ---- link events, delivered at the next Poll ----

void CKissFarSide::Transmit(const ax25::SFrame& frame) {
  if (!stream_->IsOpen()) return;
  if (stream_->Unsent() >= kMaxUnsent) {
    ++counts_.framesHeld;
    return;
  }
  ++counts_.framesOut;
  stream_->Write(ax25::KissWrap(ax25::Encode(frame), endpoint_.channel));
}

void CKissFarSide::OnConnected(const ax25::SAddress&, bool) {
  const std::string peer = PeerText();
  Later([peer](IFarSideEvents& e, std::int64_t at) { e.OnConnected(at, peer); });
}

void CKissFarSide::OnDisconnected() {
  Later([](IFarSideEvents& e, std::int64_t at) { e.OnDisconnected(at); });
}

void CKissFarSide::OnBusy(const ax25::SAddress& peer) {
  const std::string call = peer.ToString();
  Later([call](IFarSideEvents& e, std::int64_t at) { e.OnBusy(at, call); });
}

void CKissFarSide::OnRetryExceeded() {
  Later([](IFarSideEvents& e, std::int64_t at) { e.OnRetryExceeded(at); });
}

void CKissFarSide::OnFailure(const std::string& reason) {
  const std::string why = endpoint_.ToString() + ": " + reason;
  Later([why](IFarSideEvents& e, std::int64_t at) { e.OnFailure(at, why); });
}

void CKissFarSide::OnData(std::string_view bytes) {
  Later([data = std::string(bytes)](IFarSideEvents& e, std::int64_t at) { e.OnData(at, data); });
}

}  // namespace nami
