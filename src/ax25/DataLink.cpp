#include "ax25/DataLink.h"

#include <algorithm>

namespace nami::ax25 {
namespace {

// FRMR reasons (the W, X, Y, Z bits of its information field).
constexpr std::uint8_t kFrmrUnknown = 0x01;
constexpr std::uint8_t kFrmrBadNr = 0x08;

// Flags, FCS and the TNC's key-up, in bytes, on top of each frame.
constexpr std::size_t kFrameOverhead = 20;

}  // namespace

const char* LinkStateName(ELinkState state) {
  switch (state) {
    case ELinkState::Disconnected:
      return "disconnected";
    case ELinkState::AwaitingConnection:
      return "awaiting connection";
    case ELinkState::Connected:
      return "connected";
    case ELinkState::TimerRecovery:
      return "timer recovery";
    case ELinkState::AwaitingRelease:
      return "awaiting release";
  }
  return "?";
}

CDataLink::CDataLink(const IClock& clock, IDataLinkEvents& events, SLinkParams params)
    : clock_(clock), events_(events) {
  SetParams(params);
  t1v_ = InitialT1();
  srt_ = t1v_ / 2;
}

void CDataLink::SetParams(const SLinkParams& params) {
  params_ = params;
  params_.maxFrame = std::clamp(params_.maxFrame, 1, 7);
  params_.pacLen = std::clamp(params_.pacLen, 1, 256);
  params_.retries = std::clamp(params_.retries, 1, 127);
  params_.frackMs = std::max(params_.frackMs, 1);
  params_.minT1Ms = std::max(params_.minT1Ms, 1);
  params_.t2Ms = std::max(params_.t2Ms, 0);
  params_.t3Ms = std::max(params_.t3Ms, 1);
  params_.keyUpMs = std::max(params_.keyUpMs, 0);
  if (!IsUp()) k_ = params_.maxFrame;
}

// ---- frames out ----

SFrame CDataLink::Make(EKind kind, bool command, bool pf) const {
  SFrame f;
  f.dest = peer_;
  f.src = myCall_;
  f.dest.bit = f.src.bit = false;
  f.digis = via_;
  for (auto& d : f.digis) d.bit = false;
  f.kind = kind;
  f.SetCommand(command);
  f.pf = pf;
  f.nr = vr_;
  return f;
}

std::int64_t CDataLink::TxEnd(std::size_t bytes) {
  const std::int64_t now = clock_.MonotonicMs();
  if (channelFreeAt_ <= now) channelFreeAt_ = now + params_.keyUpMs;  // a new transmission
  if (params_.bitsPerSecond > 0)
    channelFreeAt_ += static_cast<std::int64_t>((bytes + kFrameOverhead) * 8 * 1000 / params_.bitsPerSecond);
  return channelFreeAt_;
}

void CDataLink::ChannelHeard(std::size_t bytes) {
  std::int64_t busy = params_.keyUpMs;
  if (params_.bitsPerSecond > 0)
    busy += static_cast<std::int64_t>((bytes + kFrameOverhead) * 8 * 1000 / params_.bitsPerSecond);
  if (t1At_ >= 0) t1At_ += busy;
  // What we queued at the TNC waited while the channel was busy.
  if (channelFreeAt_ > clock_.MonotonicMs()) channelFreeAt_ += busy;
}

void CDataLink::SendS(EKind kind, bool command, bool pf) {
  SFrame f = Make(kind, command, pf);
  TxEnd(16 + 7 * via_.size());
  Emit(f);
  ackDue_ = false;
  t2At_ = -1;
}

void CDataLink::SendU(EKind kind, bool command, bool pf) {
  SFrame f = Make(kind, command, pf);
  TxEnd(16 + 7 * via_.size());
  Emit(f);
}

void CDataLink::AnswerDm(const SFrame& in) {
  // DM to a station other than our peer: answer along its own path.
  SFrame f;
  f.dest = in.src;
  f.src = myCall_;
  f.dest.bit = f.src.bit = false;
  for (auto it = in.digis.rbegin(); it != in.digis.rend(); ++it) {
    SAddress d = *it;
    d.bit = false;
    f.digis.push_back(d);
  }
  f.kind = EKind::DM;
  f.SetCommand(false);
  f.pf = in.pf;
  Emit(f);
}

// ---- timers ----

int CDataLink::InitialT1() const { return params_.frackMs * (2 * static_cast<int>(via_.size()) + 1); }

void CDataLink::StartT1() {
  const std::int64_t from = std::max(clock_.MonotonicMs(), channelFreeAt_);
  t1At_ = from + t1v_ + static_cast<std::int64_t>(rc_) * t1v_ / 4;
}

std::int64_t CDataLink::NextTimerMs() const {
  std::int64_t next = -1;
  for (std::int64_t t : {t1At_, ackDue_ ? t2At_ : -1, t3At_})
    if (t >= 0 && (next < 0 || t < next)) next = t;
  return next;
}

void CDataLink::Tick() {
  const std::int64_t now = clock_.MonotonicMs();
  if (ackDue_ && t2At_ >= 0 && now >= t2At_) FlushAck();
  if (t1At_ >= 0 && now >= t1At_) {
    t1At_ = -1;
    switch (state_) {
      case ELinkState::Disconnected:
        break;
      case ELinkState::AwaitingConnection:
        if (rc_ >= params_.retries) {
          Reset();
          GoDisconnected();
          events_.OnRetryExceeded();
        } else {
          ++rc_;
          Establish();
        }
        break;
      case ELinkState::AwaitingRelease:
        if (rc_ >= params_.retries) {
          Reset();
          GoDisconnected();
          events_.OnRetryExceeded();
        } else {
          ++rc_;
          SendU(EKind::DISC, true, true);
          StartT1();
        }
        break;
      case ELinkState::Connected:
        rc_ = 1;
        resendingFrom_ = -1;  // the resent frames went unanswered: a REJ for them is news again
        Enquire();
        break;
      case ELinkState::TimerRecovery:
        resendingFrom_ = -1;
        if (rc_ >= params_.retries) {
          SendU(EKind::DM, false, false);
          Reset();
          GoDisconnected();
          events_.OnRetryExceeded();
        } else {
          ++rc_;
          Enquire();
        }
        break;
    }
  }
  if (t3At_ >= 0 && now >= t3At_) {
    t3At_ = -1;
    if (state_ == ELinkState::Connected && t1At_ < 0) {
      rc_ = 1;
      Enquire();
    }
  }
}

void CDataLink::Enquire() {
  ++stats_.polls;
  SendS(EKind::RR, true, true);
  StopT3();
  StartT1();
  state_ = ELinkState::TimerRecovery;
}

void CDataLink::FlushAck() {
  if (!ackDue_) return;
  if (IsUp()) SendS(EKind::RR, false, false);
  ackDue_ = false;
  t2At_ = -1;
}

// ---- requests from above ----

bool CDataLink::Connect(const SAddress& peer, const std::vector<SAddress>& via) {
  if (state_ != ELinkState::Disconnected) return false;
  Reset();
  peer_ = peer;
  via_.assign(via.begin(), via.begin() + static_cast<std::ptrdiff_t>(std::min(via.size(), kMaxDigis)));
  k_ = params_.maxFrame;
  t1v_ = InitialT1();
  srt_ = t1v_ / 2;
  state_ = ELinkState::AwaitingConnection;
  Establish();
  return true;
}

void CDataLink::Establish() {
  SendU(EKind::SABM, true, true);
  StopT3();
  StartT1();
}

void CDataLink::Disconnect() {
  switch (state_) {
    case ELinkState::Disconnected:
      break;
    case ELinkState::AwaitingConnection:
    case ELinkState::AwaitingRelease:
      Released();
      break;
    case ELinkState::Connected:
    case ELinkState::TimerRecovery:
      if (disconnectWanted_ || Outstanding() == 0) {
        StartDisconnect();
      } else {
        disconnectWanted_ = true;
      }
      break;
  }
}

void CDataLink::StartDisconnect() {
  Reset();
  state_ = ELinkState::AwaitingRelease;
  SendU(EKind::DISC, true, true);
  StartT1();
}

void CDataLink::Abort() {
  Reset();
  GoDisconnected();
}

bool CDataLink::Send(std::string_view bytes) {
  if (!IsUp() || disconnectWanted_) return false;
  queue_.append(bytes);
  Pump();
  return true;
}

std::size_t CDataLink::Outstanding() const { return windowBytes_ + queue_.size(); }

// ---- state changes ----

void CDataLink::Reset() {
  vs_ = vr_ = va_ = 0;
  rc_ = 0;
  window_.clear();
  sent_ = 0;
  queue_.clear();
  windowBytes_ = 0;
  peerBusy_ = rejectSent_ = ackDue_ = disconnectWanted_ = false;
  resendingFrom_ = -1;
  rejectsUnmoved_ = 0;
  t1At_ = t2At_ = t3At_ = -1;
}

void CDataLink::GoDisconnected() { state_ = ELinkState::Disconnected; }

void CDataLink::EnterConnected(bool incoming) {
  Reset();
  k_ = params_.maxFrame;
  t1v_ = InitialT1();
  srt_ = t1v_ / 2;
  state_ = ELinkState::Connected;
  StartT3();
  events_.OnConnected(peer_, incoming);
}

// ---- frames in ----

bool CDataLink::Receive(const SFrame& f) {
  if (!f.dest.SameStation(myCall_) || !f.FullyRepeated()) return false;
  switch (state_) {
    case ELinkState::Disconnected:
      OnFrameDisconnected(f);
      break;
    case ELinkState::AwaitingConnection:
      OnFrameAwaitingConnection(f);
      break;
    case ELinkState::AwaitingRelease:
      OnFrameAwaitingRelease(f);
      break;
    case ELinkState::Connected:
    case ELinkState::TimerRecovery:
      OnFrameConnected(f);
      break;
  }
  return true;
}

void CDataLink::OnFrameDisconnected(const SFrame& f) {
  if (f.kind == EKind::SABM && f.IsCommand() && params_.conOk) {
    peer_ = f.src;
    peer_.bit = false;
    via_.clear();
    for (auto it = f.digis.rbegin(); it != f.digis.rend(); ++it) via_.push_back(*it);
    const bool pf = f.pf;
    vr_ = 0;
    SendU(EKind::UA, false, pf);
    EnterConnected(true);
    return;
  }
  // A connect refused (CONOK off, or AX.25 2.2's SABME, so that the caller
  // falls back to SABM), a DISC for a link we do not have, or a poll.
  if (f.IsCommand() && (f.kind == EKind::SABM || f.kind == EKind::SABME || f.kind == EKind::DISC || f.pf)) {
    AnswerDm(f);
    return;
  }
  ++stats_.framesIgnored;
}

void CDataLink::OnFrameAwaitingConnection(const SFrame& f) {
  if (FromStranger(f)) return;
  switch (f.kind) {
    case EKind::UA:
      EnterConnected(false);
      return;
    case EKind::DM:
      if (f.IsCommand() && !f.pf) break;
      {
        const SAddress peer = peer_;
        Reset();
        GoDisconnected();
        events_.OnBusy(peer);
      }
      return;
    case EKind::SABM:
      SendU(EKind::UA, false, f.pf);
      return;
    case EKind::DISC:
      SendU(EKind::DM, false, f.pf);
      return;
    default:
      break;
  }
  ++stats_.framesIgnored;
}

void CDataLink::OnFrameAwaitingRelease(const SFrame& f) {
  if (FromStranger(f)) return;
  switch (f.kind) {
    case EKind::UA:
    case EKind::DM:
      Released();
      return;
    case EKind::DISC:
      SendU(EKind::UA, false, f.pf);
      Released();
      return;
    case EKind::SABM:
      SendU(EKind::DM, false, f.pf);
      return;
    default:
      if (f.IsCommand() && f.pf) {
        SendU(EKind::DM, false, true);
        return;
      }
      break;
  }
  ++stats_.framesIgnored;
}

void CDataLink::FrameReject(std::uint8_t why, const SFrame& f, bool fatal) {
  SFrame r = Make(EKind::FRMR, false, f.pf);
  r.info.push_back(static_cast<char>(f.control));
  r.info.push_back(static_cast<char>((vr_ << 5) | (f.IsCommand() ? 0 : 0x10) | (vs_ << 1)));
  r.info.push_back(static_cast<char>(why));
  TxEnd(19 + 7 * via_.size());
  Emit(r);
  if (fatal) {
    Reset();
    GoDisconnected();
    events_.OnFailure(std::string("protocol error: ") + (why == kFrmrBadNr ? "N(R) out of range" : "frame rejected") +
                      " from " + peer_.ToString());
  }
}

bool CDataLink::NrValid(int nr) const { return ((nr - va_) & 7) <= ((vs_ - va_) & 7); }

void CDataLink::AckUpTo(int nr) {
  const std::int64_t now = clock_.MonotonicMs();
  const int before = va_;
  bool measured = false;
  std::int64_t sample = 0;
  while (va_ != nr && !window_.empty()) {
    const SOutFrame& o = window_.front();
    if (!o.resent) {
      measured = true;
      sample = std::max<std::int64_t>(0, now - o.txEnd);
    } else {
      measured = false;  // a later frame sent twice makes the sample ambiguous
    }
    windowBytes_ -= o.data.size();
    window_.pop_front();
    if (sent_ > 0) --sent_;
    va_ = (va_ + 1) & 7;
  }
  if (nr != before) {
    // The peer took something: a new reject condition may start.
    resendingFrom_ = -1;
    rejectsUnmoved_ = 0;
  }
  va_ = nr;
  if (measured) {
    srt_ = static_cast<int>((7 * static_cast<std::int64_t>(srt_) + sample) / 8);
    const int hops = 2 * static_cast<int>(via_.size()) + 1;
    const int hi = 2 * InitialT1();
    const int lo = std::min(params_.minT1Ms * hops, hi);
    t1v_ = std::clamp(2 * srt_, lo, hi);
  }
}

void CDataLink::AfterAck() {
  if (va_ == vs_) {
    StopT1();
    if (peerBusy_) {
      StartT1();  // keep polling a busy peer
    } else {
      StartT3();
    }
  } else {
    StartT1();
  }
  Pump();
  if (disconnectWanted_ && Outstanding() == 0 && state_ == ELinkState::Connected) StartDisconnect();
}

void CDataLink::Retransmit() {
  sent_ = 0;
  vs_ = va_;
  resendingFrom_ = va_;
}

CDataLink::EReject CDataLink::OnReject() {
  if (resendingFrom_ == va_) {
    // The same reject condition (the peer answers each resent frame with
    // another REJ): the frames are on their way already, and T1 keeps
    // running for them.
    ++stats_.rejectsIgnored;
    return EReject::Ignored;
  }
  if (++rejectsUnmoved_ > params_.retries) {
    const std::string peer = peer_.ToString();
    SendU(EKind::DM, false, false);
    Reset();
    GoDisconnected();
    events_.OnFailure(peer + " keeps rejecting: " + std::to_string(params_.retries) +
                      " retransmissions without an acknowledgement");
    return EReject::Ended;
  }
  Retransmit();
  return EReject::Resent;
}

void CDataLink::Pump() {
  if (!IsUp() || peerBusy_) return;
  bool any = false;
  while (sent_ < static_cast<std::size_t>(k_)) {
    if (sent_ == window_.size()) {
      if (queue_.empty()) break;
      const std::size_t n = std::min(queue_.size(), static_cast<std::size_t>(params_.pacLen));
      window_.push_back({queue_.substr(0, n), -1, false});
      queue_.erase(0, n);
      windowBytes_ += n;
    }
    SOutFrame& o = window_[sent_];
    SFrame f = Make(EKind::I, true, false);
    f.ns = vs_;
    f.info = o.data;
    if (o.txEnd >= 0) {
      o.resent = true;
      ++stats_.iResent;
    } else {
      ++stats_.iSent;
    }
    o.txEnd = TxEnd(17 + 7 * via_.size() + o.data.size());
    Emit(f);
    vs_ = (vs_ + 1) & 7;
    ++sent_;
    any = true;
  }
  if (!any) return;
  ackDue_ = false;
  t2At_ = -1;
  StopT3();
  if (state_ == ELinkState::Connected || t1At_ < 0) StartT1();
}

void CDataLink::TakeI(const SFrame& f) {
  if (f.ns == vr_) {
    vr_ = (vr_ + 1) & 7;
    rejectSent_ = false;
    ++stats_.iReceived;
    stats_.bytesDelivered += f.info.size();
    if (f.pf) {
      SendS(EKind::RR, false, true);
    } else {
      ackDue_ = true;
      t2At_ = clock_.MonotonicMs() + params_.t2Ms;
    }
    events_.OnData(f.info);
    return;
  }
  ++stats_.iOutOfSequence;
  if (!rejectSent_) {
    rejectSent_ = true;
    ++stats_.rejectsSent;
    SendS(EKind::REJ, false, f.pf);
  } else if (f.pf) {
    SendS(EKind::RR, false, true);
  }
}

bool CDataLink::FromStranger(const SFrame& f) {
  if (f.src.SameStation(peer_)) return false;
  // Someone else calling or polling while we are busy with our peer.
  if (f.IsCommand() && (f.kind == EKind::SABM || f.kind == EKind::SABME || f.pf)) AnswerDm(f);
  return true;
}

void CDataLink::Released() {
  Reset();
  GoDisconnected();
  events_.OnDisconnected();
}

void CDataLink::OnFrameConnected(const SFrame& f) {
  if (FromStranger(f)) return;
  switch (f.kind) {
    case EKind::I:
      return OnConnectedI(f);
    case EKind::RR:
    case EKind::RNR:
    case EKind::REJ:
      return OnConnectedSupervisory(f);
    case EKind::SABM:
      return OnPeerReset(f);
    case EKind::DISC:
      SendU(EKind::UA, false, f.pf);
      return Released();
    case EKind::DM:
      return Released();
    case EKind::FRMR:
      SendU(EKind::DM, false, false);
      Reset();
      GoDisconnected();
      events_.OnFailure("protocol error: " + peer_.ToString() + " rejected a frame (FRMR)");
      return;
    case EKind::UA:
    case EKind::UI:
      ++stats_.framesIgnored;
      return;
    default:
      if (f.IsCommand()) return FrameReject(kFrmrUnknown, f, false);
      ++stats_.framesIgnored;
      return;
  }
}

void CDataLink::OnConnectedI(const SFrame& f) {
  const bool recovery = state_ == ELinkState::TimerRecovery;
  if (!NrValid(f.nr)) return FrameReject(kFrmrBadNr, f, true);
  AckUpTo(f.nr);
  if (!recovery) StopT1();
  TakeI(f);
  if (!IsUp()) return;
  if (!recovery) {
    AfterAck();
  } else {
    Pump();
  }
}

void CDataLink::OnConnectedSupervisory(const SFrame& f) {
  const bool recovery = state_ == ELinkState::TimerRecovery;
  peerBusy_ = f.kind == EKind::RNR;
  if (!NrValid(f.nr)) return FrameReject(kFrmrBadNr, f, true);
  AckUpTo(f.nr);
  const bool answer = f.IsCommand() && f.pf;
  if (recovery && !f.IsCommand() && f.pf) {
    // The answer to our poll: back to normal, resending what it lacks.
    state_ = ELinkState::Connected;
    rc_ = 0;
    StopT1();
    if (f.kind == EKind::REJ && va_ != vs_) {
      if (OnReject() == EReject::Ended) return;
    } else if (va_ != vs_) {
      Retransmit();
    }
    AfterAck();
  } else if (!recovery) {
    const EReject reject = f.kind == EKind::REJ ? OnReject() : EReject::Resent;
    if (reject == EReject::Ended) return;
    if (reject != EReject::Ignored) AfterAck();
  }
  if (answer) SendS(EKind::RR, false, true);
}

// The peer did not hear our UA and calls again. If nothing has passed yet,
// the window is resent from the start; otherwise the peer has reset the
// link and what it had not acknowledged goes again.
void CDataLink::OnPeerReset(const SFrame& f) {
  SendU(EKind::UA, false, f.pf);
  vr_ = 0;
  rejectSent_ = false;
  ackDue_ = false;
  vs_ = va_ = 0;
  sent_ = 0;
  resendingFrom_ = -1;
  rejectsUnmoved_ = 0;
  state_ = ELinkState::Connected;
  rc_ = 0;
  StopT1();
  AfterAck();
}

}  // namespace nami::ax25
