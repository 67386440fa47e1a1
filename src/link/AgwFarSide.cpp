#include "link/AgwFarSide.h"

#include <algorithm>
#include <numeric>

#include "text/Messages.h"

namespace nami {
namespace {

// " 1:Fm JA1ABC To BEACON Via JA1DIG,JA1DIH <UI pid=F0 Len=5 >[12:00:00]\rtext\r"
// as a TNC2 monitor line: "JA1ABC>BEACON,JA1DIG,JA1DIH: text" (the
// description in angle brackets when there is no text).
std::vector<std::string> MonitorLines(const agw::SFrame& f) {
  std::string data = f.data;
  while (!data.empty() && (data.back() == '\0' || data.back() == '\r')) data.pop_back();
  std::string head = f.from + ">" + f.to;
  std::size_t via = data.find(" Via ");
  std::size_t lt = data.find(" <");
  if (via != std::string::npos && (lt == std::string::npos || via < lt)) {
    std::size_t end = data.find(' ', via + 5);
    head += "," + data.substr(via + 5, end == std::string::npos ? std::string::npos : end - via - 5);
  }
  std::size_t stamp = data.find("]\r");
  std::vector<std::string> lines;
  if (stamp == std::string::npos || stamp + 2 >= data.size()) {
    std::string desc;
    std::size_t gt = data.find('>', lt == std::string::npos ? 0 : lt);
    if (lt != std::string::npos && gt != std::string::npos) desc = " " + data.substr(lt + 1, gt - lt);
    lines.push_back(head + desc);
    return lines;
  }
  std::string info = data.substr(stamp + 2);
  std::size_t start = 0;
  bool first = true;
  while (start <= info.size()) {
    std::size_t cr = info.find('\r', start);
    std::string part = info.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
    lines.push_back(first ? head + ": " + part : part);
    first = false;
    if (cr == std::string::npos) break;
    start = cr + 1;
  }
  return lines;
}

}  // namespace

CAgwFarSide::CAgwFarSide(std::string name, std::string host, int port, int radioPort)
    : name_(name), host_(std::move(host)), port_(port), radio_(radioPort), tcp_(std::move(name)) {}

std::string CAgwFarSide::SignOn(const std::string& myCall) const {
  return "nami TNC2 on " + name_ + ", MYCALL " + myCall;
}

void CAgwFarSide::Send(char kind, const std::string& from, const std::string& to, std::string data, int pid) {
  agw::SFrame f;
  f.port = radio_;
  f.kind = kind;
  f.pid = pid;
  f.from = from;
  f.to = to;
  f.data = std::move(data);
  tcp_.Write(agw::Encode(f));
}

void CAgwFarSide::Open() {
  decoder_.Clear();
  registered_ = false;
  serverMonitor_ = false;
  wasOpen_ = false;
  if (!tcp_.Connect(host_, port_)) failure_ = tcp_.Error();
}

void CAgwFarSide::Reset() {
  Close();
  failure_.clear();
  Open();
}

void CAgwFarSide::Close() {
  tcp_.Close();
  decoder_.Clear();
  state_ = State::Idle;
  registered_ = false;
  connectSent_ = false;
  unacked_.clear();
  nextQuery_ = -1;
  disconnectBy_ = -1;
}

bool CAgwFarSide::SetMyCall(const std::string& call) {
  if (call != myCall_ && registered_) {
    Send('x', myCall_, "");
    Send('X', call, "");
    registered_ = false;
  }
  myCall_ = call;
  return true;
}

bool CAgwFarSide::SetParameter(ETncParam param, int value) {
  if (param == ETncParam::Monitor) {
    monitor_ = value != 0;
    if (tcp_.IsOpen() && monitor_ != serverMonitor_) {
      Send('m', "", "");
      serverMonitor_ = monitor_;
    }
  } else if (param == ETncParam::ConOk) {
    conok_ = value != 0;
  } else if (param == ETncParam::Frack) {
    frackMs_ = value * 1000;
  } else if (param == ETncParam::Retry) {
    retries_ = value == 0 ? 10 : value;
  }
  return true;
}

void CAgwFarSide::Connect(const std::string& call, const std::vector<std::string>& via) {
  remote_ = call;
  via_ = via;
  state_ = State::Connecting;
  connectSent_ = false;
  unacked_.clear();
  if (tcp_.GetState() == CTcpLink::State::Closed) {
    failure_.clear();
    Open();
  }
}

void CAgwFarSide::Disconnect() {
  if (state_ == State::Idle) return;
  if (state_ == State::Disconnecting && disconnectBy_ >= 0) {
    SendDisconnect();  // asked again: at once
  } else if (state_ == State::Connected && tcp_.IsOpen() && !unacked_.empty()) {
    state_ = State::Disconnecting;
    disconnectBy_ = now_ + std::int64_t{frackMs_} * retries_;
    nextQuery_ = now_;
  } else if (tcp_.IsOpen() && connectSent_) {
    Send('d', myCall_, remote_);
    state_ = State::Disconnecting;
  } else {
    state_ = State::Disconnecting;
    connectSent_ = false;  // nothing went out: down at the next Poll
  }
}

bool CAgwFarSide::SendData(std::string_view bytes) {
  if (state_ != State::Connected || !tcp_.IsOpen()) return false;
  Send('D', myCall_, remote_, std::string(bytes), 0xF0);
  unacked_.push_back(bytes.size());
  nextQuery_ = now_;  // ask at the next Poll
  return true;
}

std::size_t CAgwFarSide::OutstandingBytes() const {
  return std::accumulate(unacked_.begin(), unacked_.end(), std::size_t{0}) + tcp_.Unsent();
}

std::int64_t CAgwFarSide::NextEventMs() const {
  if (disconnectBy_ >= 0 && (nextQuery_ < 0 || disconnectBy_ < nextQuery_)) return disconnectBy_;
  return nextQuery_;
}

void CAgwFarSide::SendDisconnect() {
  disconnectBy_ = -1;
  nextQuery_ = -1;
  if (tcp_.IsOpen()) Send('d', myCall_, remote_);
}

void CAgwFarSide::Down(std::int64_t now) {
  (void)now;
  state_ = State::Idle;
  connectSent_ = false;
  unacked_.clear();
  nextQuery_ = -1;
  disconnectBy_ = -1;
}

void CAgwFarSide::Fail(std::int64_t now, const std::string& why) {
  tcp_.Close();
  decoder_.Clear();
  registered_ = false;
  Down(now);
  if (events_) events_->OnFailure(now, why);
}

void CAgwFarSide::Poll(std::int64_t now) {
  now_ = now;
  if (!events_) return;
  if (!failure_.empty()) {
    std::string why;
    why.swap(failure_);
    Down(now);
    events_->OnFailure(now, why);
    return;
  }
  if (state_ == State::Disconnecting && !connectSent_) {
    Down(now);
    events_->OnDisconnected(now);
  }
  if (tcp_.GetState() == CTcpLink::State::Closed) return;
  bool alive = tcp_.Poll();
  if (alive && tcp_.IsOpen() && !wasOpen_) {
    wasOpen_ = true;
    Send('X', myCall_, "");
    Send('G', "", "");
    if (monitor_) {
      Send('m', "", "");
      serverMonitor_ = true;
    }
  }
  std::string bytes;
  if (alive) alive = tcp_.Read(bytes, std::min<std::size_t>(inputRoom_, 65536));
  decoder_.Feed(bytes);
  agw::SFrame f;
  std::string error;
  for (;;) {
    agw::CDecoder::Result r = decoder_.Next(f, error);
    if (r == agw::CDecoder::Result::NeedMore) break;
    if (r == agw::CDecoder::Result::Bad) {
      Fail(now, name_ + ": " + error);
      return;
    }
    OnFrame(f, now);
    if (tcp_.GetState() == CTcpLink::State::Closed) return;  // failed while handling it
  }
  if (!alive) {
    std::string why = tcp_.Error();
    if (decoder_.Buffered() > 0) why = name_ + ": " + msg::ServerClosedMidFrame;
    Fail(now, why);
    return;
  }
  if (state_ == State::Connecting && registered_ && !connectSent_) {
    if (via_.empty())
      Send('C', myCall_, remote_);
    else
      Send('v', myCall_, remote_, agw::ViaData(via_));
    connectSent_ = true;
  }
  if (disconnectBy_ >= 0 && now >= disconnectBy_) SendDisconnect();
  const bool flowing = state_ == State::Connected || (state_ == State::Disconnecting && disconnectBy_ >= 0);
  if (flowing && nextQuery_ >= 0 && now >= nextQuery_) {
    Send('Y', myCall_, remote_);
    nextQuery_ = -1;  // the answer sets the next one
  }
}

void CAgwFarSide::OnFrame(const agw::SFrame& f, std::int64_t now) {
  if (f.kind != 'G' && f.kind != 'R' && f.port != radio_) return;
  switch (f.kind) {
    case 'X':
      if (!f.data.empty() && f.data[0] == 1) {
        registered_ = true;
      } else {
        Fail(now, name_ + ": the server refused MYCALL " + myCall_ + " on radio port " + std::to_string(radio_));
      }
      return;
    case 'G':
      return OnPortList(f, now);
    case 'C':
      return OnConnected(f, now);
    case 'd':
      return OnDisconnected(f, now);
    case 'D':
      // Text still comes while a disconnect waits for the queue to drain.
      if ((state_ == State::Connected || disconnectBy_ >= 0) && f.from == remote_) events_->OnData(now, f.data);
      return;
    case 'Y':
      return OnOutstanding(f, now);
    case 'U':
    case 'I':
    case 'S':
      if (monitor_ && state_ != State::Connected)
        for (const std::string& line : MonitorLines(f)) events_->OnMonitor(now, line);
      return;
    default:
      return;  // 'T' (our own frames), 'R', 'K' and anything newer: not shown
  }
}

void CAgwFarSide::OnPortList(const agw::SFrame& f, std::int64_t now) {
  // "2;Port1 ...;Port2 ...;": the radio port must be one of them.
  int count = std::atoi(f.data.c_str());
  if (count > 0 && radio_ >= count)
    Fail(now, name_ + ": the server has no radio port " + std::to_string(radio_) + " (it has " + std::to_string(count) +
                  ")");
}

void CAgwFarSide::OnConnected(const agw::SFrame& f, std::int64_t now) {
  if (state_ == State::Connecting && f.from == remote_) {
    state_ = State::Connected;
    std::string peer = remote_;
    for (std::size_t i = 0; i < via_.size(); ++i) peer += (i == 0 ? " VIA " : ",") + via_[i];
    events_->OnConnected(now, peer);
  } else if (state_ == State::Idle && conok_) {
    state_ = State::Connected;
    connectSent_ = true;
    remote_ = f.from;
    via_.clear();
    events_->OnConnected(now, remote_);
  } else {
    refused_ = f.from;  // busy with another link, or CONOK OFF
    Send('d', f.to, f.from);
  }
}

void CAgwFarSide::OnDisconnected(const agw::SFrame& f, std::int64_t now) {
  if (f.from == refused_) {
    refused_.clear();
    return;
  }
  if (state_ == State::Idle || f.from != remote_) return;
  const bool retryOut = f.data.find("RETRYOUT") != std::string::npos;
  const State was = state_;
  Down(now);
  if (retryOut && was != State::Disconnecting)
    events_->OnRetryExceeded(now);
  else if (was == State::Connecting)
    events_->OnBusy(now, remote_);
  else
    events_->OnDisconnected(now);
}

// The count of our frames the server has not yet sent: the acknowledged
// ones leave the queue of unacknowledged frames.
void CAgwFarSide::OnOutstanding(const agw::SFrame& f, std::int64_t now) {
  const bool waiting = state_ == State::Disconnecting && disconnectBy_ >= 0;
  if (f.data.size() < 4 || (state_ != State::Connected && !waiting)) return;
  std::size_t n = static_cast<unsigned char>(f.data[0]) | static_cast<unsigned char>(f.data[1]) << 8 |
                  static_cast<unsigned char>(f.data[2]) << 16 |
                  static_cast<std::size_t>(static_cast<unsigned char>(f.data[3])) << 24;
  while (unacked_.size() > n) unacked_.pop_front();
  if (!unacked_.empty())
    nextQuery_ = now + kQueryMs;
  else if (waiting)
    SendDisconnect();
}

}  // namespace nami
