#include "link/Tnc2Engine.h"

#include <algorithm>
#include <cctype>

#include "text/Cp932.h"

namespace nami {
namespace {

constexpr char kCtrlC = 0x03;
constexpr std::size_t kMaxCommand = 128;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// `word` is `full` or one of its abbreviations down to `shortest` letters.
bool Is(const std::string& word, std::string_view full, std::size_t shortest) {
  return word.size() >= shortest && word.size() <= full.size() && full.substr(0, word.size()) == word;
}

}  // namespace

bool CTnc2Engine::IsCall(std::string_view call) {
  std::string_view base = call.substr(0, call.find('-'));
  if (base.empty() || base.size() > 6) return false;
  for (char c : base)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  if (call.size() > base.size()) {
    std::string_view ssid = call.substr(base.size() + 1);
    if (ssid.empty() || ssid.size() > 2 || ssid.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (std::stoi(std::string(ssid)) > 15) return false;
  }
  return true;
}

CTnc2Engine::CTnc2Engine(IFarSide& far, IClock& clock, STnc2Options options)
    : far_(far), clock_(clock), options_(std::move(options)) {
  far_.SetEvents(this);
  params_.Set(ETncParam::Echo, options_.echo);
  params_.Set(ETncParam::AutoLf, options_.lineEnd == LineEnd::CrLf);
  myCall_ = Upper(options_.myCall);
}

std::string CTnc2Engine::End() const {
  if (options_.lineEnd == LineEnd::Lf) return "\n";
  return params_.On(ETncParam::AutoLf) ? "\r\n" : "\r";
}

bool CTnc2Engine::SetMyCall(const std::string& call) {
  std::string upper = Upper(call);
  if (!IsCall(upper) || !far_.SetMyCall(upper)) return false;
  myCall_ = upper;
  options_.myCall = upper;
  return true;
}

void CTnc2Engine::PassParameters() {
  far_.SetMyCall(myCall_);
  for (const STncParam& p : kTncParams)
    if (p.farSide) far_.SetParameter(p.id, params_.Get(p.id));
}

void CTnc2Engine::PowerOn() {
  far_.Reset();
  out_.clear();
  pendingBytes_ = 0;
  sendBuf_.clear();
  sendDue_ = -1;
  std::int64_t now = clock_.MonotonicMs();
  lastDue_ = now;
  atLineStart_ = true;
  dataOpen_ = false;
  dataAfterCr_ = false;
  link_ = Link::Disconnected;
  disconnecting_ = false;
  commandMode_ = true;
  // The parameters are kept as a TNC2 keeps them, except these.
  params_.Set(ETncParam::Echo, options_.echo);
  params_.Set(ETncParam::AutoLf, options_.lineEnd == LineEnd::CrLf);
  params_.Set(ETncParam::Monitor, 0);
  myCall_ = Upper(options_.myCall);
  command_.clear();
  peer_.clear();
  PassParameters();
  EmitLine(far_.SignOn(myCall_), now, options_.answerDelayMs);
  Emit("cmd:", now, 0);
}

void CTnc2Engine::Emit(std::string bytes, std::int64_t at, int delayMs) {
  if (bytes.empty()) return;
  std::int64_t due = std::max(at, lastDue_) + delayMs;
  lastDue_ = due;
  char last = bytes.back();
  atLineStart_ = last == '\r' || last == '\n';
  dataOpen_ = false;
  pendingBytes_ += bytes.size();
  if (!out_.empty() && out_.back().due == due) {
    out_.back().bytes += bytes;
  } else {
    out_.push_back({due, std::move(bytes)});
  }
}

void CTnc2Engine::EmitLine(const std::string& text, std::int64_t at, int delayMs) { Emit(text + End(), at, delayMs); }

void CTnc2Engine::NewLine(std::int64_t at) {
  if (!atLineStart_) Emit(End(), at, 0);
}

void CTnc2Engine::CmdPrompt(std::int64_t at) {
  NewLine(at);
  Emit("cmd:", at, 0);
}

std::size_t CTnc2Engine::Outstanding() const { return sendBuf_.size() + far_.OutstandingBytes(); }

int CTnc2Engine::TransmitQueueCount() const {
  // Two windows may wait at the far side, so that the next one is ready the
  // moment the peer acknowledges the last; only what is beyond them counts.
  const std::size_t limit = 2 * Number(ETncParam::MaxFrame) * Number(ETncParam::PacLen);
  const std::size_t queued = Outstanding();
  return queued > limit ? static_cast<int>(std::min<std::size_t>(queued - limit, 1 << 30)) : 0;
}

std::int64_t CTnc2Engine::NextEventMs() const {
  std::int64_t next = out_.empty() ? -1 : out_.front().due;
  for (std::int64_t t : {far_.NextEventMs(), sendDue_})
    if (t >= 0) next = next < 0 ? t : std::min(next, t);
  return next;
}

std::size_t CTnc2Engine::TakeDue(std::string& out, std::size_t max) {
  std::int64_t now = clock_.MonotonicMs();
  Advance(now);
  std::size_t taken = 0;
  while (!out_.empty() && out_.front().due <= now && taken < max) {
    Chunk& c = out_.front();
    std::size_t n = std::min(max - taken, c.bytes.size());
    out.append(c.bytes, 0, n);
    c.bytes.erase(0, n);
    taken += n;
    if (c.bytes.empty()) out_.pop_front();
  }
  pendingBytes_ -= taken;
  return taken;
}

void CTnc2Engine::Advance(std::int64_t now) {
  if (!sendBuf_.empty()) SendPackets(sendDue_ >= 0 && now >= sendDue_, now);
  far_.SetInputRoom(pendingBytes_ < kMaxPendingOutput ? kMaxPendingOutput - pendingBytes_ : 0);
  far_.Poll(now);
}

void CTnc2Engine::EndLink() {
  if (link_ == Link::Disconnected || disconnecting_) return;
  const std::int64_t now = clock_.MonotonicMs();
  SendPackets(true, now);
  disconnecting_ = true;
  far_.Disconnect();
  far_.Poll(now);
}

int CTnc2Engine::ReleaseMs() const {
  const int retries = params_.Get(ETncParam::Retry) == 0 ? 10 : params_.Get(ETncParam::Retry);
  return params_.Get(ETncParam::Frack) * 1000 * retries;
}

void CTnc2Engine::LinkDown(const std::string& reason, std::int64_t at) {
  link_ = Link::Disconnected;
  disconnecting_ = false;
  commandMode_ = true;
  command_.clear();
  sendBuf_.clear();
  sendDue_ = -1;
  NewLine(at);
  if (!reason.empty()) EmitLine(reason, at, options_.answerDelayMs);
  EmitLine("*** DISCONNECTED", at);
  Emit("cmd:", at, 0);
}

void CTnc2Engine::OnConnected(std::int64_t at, const std::string& peer) {
  if (link_ == Link::Connected) return;
  link_ = Link::Connected;
  lastFailure_.clear();
  peer_ = peer;
  commandMode_ = false;
  command_.clear();
  dataAfterCr_ = false;
  NewLine(at);
  EmitLine("*** CONNECTED to " + peer, at);
}

void CTnc2Engine::OnDisconnected(std::int64_t at) { LinkDown({}, at); }

void CTnc2Engine::OnBusy(std::int64_t at, const std::string& call) { LinkDown("*** " + call + " busy", at); }

void CTnc2Engine::OnRetryExceeded(std::int64_t at) { LinkDown("*** retry count exceeded", at); }

void CTnc2Engine::OnFailure(std::int64_t at, const std::string& reason) {
  lastFailure_ = reason;
  // The reason is UTF-8 (the catalogue's words); the terminal reads CP932.
  LinkDown("*** " + Utf8ToCp932(reason), at);
}

void CTnc2Engine::OnData(std::int64_t at, std::string_view bytes) {
  if (link_ != Link::Connected || bytes.empty()) return;
  // Text arriving while a command is typed starts on a line of its own; a
  // line the peer has not finished yet simply goes on.
  if (!dataOpen_) NewLine(at);
  bool first = true;
  while (!bytes.empty()) {
    if (dataAfterCr_ && bytes.front() == '\n') {  // CR LF from the peer is one line end
      bytes.remove_prefix(1);
      dataAfterCr_ = false;
      continue;
    }
    std::size_t n = bytes.find_first_of("\r\n");
    bool ended = n != std::string_view::npos;
    std::string piece(bytes.substr(0, ended ? n : bytes.size()));
    if (ended) {
      dataAfterCr_ = bytes[n] == '\r';
      piece += End();
      bytes.remove_prefix(n + 1);
    } else {
      dataAfterCr_ = false;
      bytes = {};
    }
    if (piece.empty()) continue;
    Emit(std::move(piece), at, first ? options_.answerDelayMs : options_.lineDelayMs);
    dataOpen_ = !ended;
    first = false;
  }
}

void CTnc2Engine::OnMonitor(std::int64_t at, const std::string& line) {
  if (!params_.On(ETncParam::Monitor)) return;
  NewLine(at);
  EmitLine(line, at);
  // In command mode the prompt comes back under the monitored frame.
  if (commandMode_ && command_.empty()) Emit("cmd:", at, 0);
}

void CTnc2Engine::Receive(std::string_view bytes) {
  std::int64_t now = clock_.MonotonicMs();
  Advance(now);
  while (!bytes.empty()) {
    if (bytes.front() == kCtrlC) {
      bytes.remove_prefix(1);
      SendPackets(true, now);
      commandMode_ = true;
      command_.clear();
      Emit(End() + "cmd:", now, 0);
      continue;
    }
    if (commandMode_) {
      CommandByte(bytes.front(), now);
      bytes.remove_prefix(1);
      continue;
    }
    std::size_t n = bytes.find(kCtrlC);
    if (n == std::string_view::npos) n = bytes.size();
    ConverseBytes(bytes.substr(0, n), now);
    bytes.remove_prefix(n);
  }
}

void CTnc2Engine::CommandByte(char c, std::int64_t now) {
  if (c == '\r') {
    if (params_.On(ETncParam::Echo)) Emit(End(), now, 0);
    std::string line;
    line.swap(command_);
    RunCommand(line, now);
  } else if (c == '\b' || c == 0x7F) {
    if (!command_.empty()) {
      command_.pop_back();
      if (params_.On(ETncParam::Echo)) Emit("\b \b", now, 0);
    }
  } else if (c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
    if (command_.size() < kMaxCommand) {
      command_.push_back(c);
      if (params_.On(ETncParam::Echo)) Emit(std::string(1, c), now, 0);
    } else {
      Emit("\a", now, 0);  // the line is full
    }
  }
  // LF and other control bytes are ignored in command mode.
}

void CTnc2Engine::ConverseBytes(std::string_view bytes, std::int64_t now) {
  if (link_ != Link::Connected) return;  // nowhere to go
  sendBuf_.append(bytes);
  SendPackets(options_.pacTimeMs == 0, now);
  if (!sendBuf_.empty()) sendDue_ = now + options_.pacTimeMs;
  // What the far side answers to these bytes comes right after them.
  far_.Poll(now);
}

// Cuts the held converse bytes into packets: up to and including each CR,
// at most PACLEN bytes; the rest too when `all`.
void CTnc2Engine::SendPackets(bool all, std::int64_t now) {
  (void)now;
  const std::size_t paclen = Number(ETncParam::PacLen);
  while (!sendBuf_.empty() && link_ == Link::Connected) {
    // While the link still carries earlier packets, lines are packed
    // together up to PACLEN instead of going out one short packet each
    // (fewer, fuller frames on a slow radio channel).
    const bool backlog = far_.OutstandingBytes() > 0;
    std::size_t cr = sendBuf_.find('\r');
    bool whole = cr != std::string::npos && !backlog;
    std::size_t n = whole ? cr + 1 : sendBuf_.size();
    if (n >= paclen)
      n = paclen;
    else if (!whole && !all)
      break;
    if (!far_.SendData(std::string_view(sendBuf_).substr(0, n))) {
      sendBuf_.clear();
      break;
    }
    sendBuf_.erase(0, n);
  }
  if (sendBuf_.empty() || link_ != Link::Connected) {
    sendBuf_.clear();
    sendDue_ = -1;
  }
}

void CTnc2Engine::RunCommand(const std::string& line, std::int64_t now) {
  std::vector<std::string> words = Words(line);
  if (words.empty()) {
    CmdPrompt(now);
    return;
  }
  std::string cmd = Upper(words[0]);
  if (cmd == "C" || Is(cmd, "CONNECT", 4) || cmd == "CO" || cmd == "CON") {
    Connect(words, now);
    return;
  }
  if (cmd == "K" || Is(cmd, "CONVERSE", 4)) {
    if (link_ == Link::Connected) {
      commandMode_ = false;
      return;
    }
    EmitLine("Not while disconnected", now);
  } else if (Is(cmd, "DISCONNECT", 1) && (cmd == "D" || cmd.size() >= 4)) {
    if (link_ == Link::Disconnected) {
      EmitLine("Not while disconnected", now);
    } else {
      // The far side confirms with OnDisconnected, which prints the status
      // line and the prompt.
      // A second DISCONNECT ends the link at once.
      SendPackets(true, now);
      disconnecting_ = true;
      far_.Disconnect();
      far_.Poll(now);
      return;
    }
  } else if (Is(cmd, "MYCALL", 2)) {
    if (words.size() == 1) {
      EmitLine("MYCALL " + myCall_, now);
    } else if (link_ != Link::Disconnected) {
      EmitLine("Not while connected", now);
    } else if (!IsCall(Upper(words[1]))) {
      EmitLine("?bad callsign", now);
    } else if (!far_.SetMyCall(Upper(words[1]))) {
      EmitLine("?bad parameter", now);
    } else {
      myCall_ = Upper(words[1]);
      if (OnMyCallChanged) OnMyCallChanged(myCall_);
    }
  } else if (const STncParam* param = FindTncParam(cmd)) {
    Parameter(*param, words.size() > 1 ? Upper(words[1]) : std::string(), now);
  } else {
    EmitLine("?EH", now);
  }
  CmdPrompt(now);
}

// A parameter command: shows the value, or sets it to `arg`.
void CTnc2Engine::Parameter(const STncParam& param, const std::string& arg, std::int64_t now) {
  if (arg.empty()) {
    EmitLine(std::string(param.name) + " " + TncValueText(param.id, params_.Get(param.id)), now);
    return;
  }
  const std::optional<int> value = ParseTncValue(param.id, arg);
  if (!value || (param.farSide && !far_.SetParameter(param.id, *value))) {
    EmitLine("?bad parameter", now);
    return;
  }
  params_.Set(param.id, *value);
}

void CTnc2Engine::Connect(const std::vector<std::string>& words, std::int64_t now) {
  if (words.size() == 1) {
    if (link_ == Link::Connected)
      EmitLine("Link state is: CONNECTED to " + peer_, now);
    else if (link_ == Link::Connecting)
      EmitLine("Link state is: CONNECT in progress", now);
    else
      EmitLine("Link state is: DISCONNECTED", now);
    CmdPrompt(now);
    return;
  }
  if (link_ != Link::Disconnected) {
    EmitLine("?already connected to " + peer_, now);
    CmdPrompt(now);
    return;
  }
  std::string call = Upper(words[1]);
  std::vector<std::string> digis;
  bool ok = IsCall(call);
  for (std::size_t i = 2; i < words.size() && ok; ++i) {
    std::string w = Upper(words[i]);
    if (i == 2 && (w == "VIA" || w == "V")) continue;
    if (i == 2 || !IsCall(w) || digis.size() >= 8)
      ok = false;
    else
      digis.push_back(w);
  }
  if (!ok || (words.size() > 2 && digis.empty())) {
    EmitLine("?bad callsign", now);
    CmdPrompt(now);
    return;
  }
  peer_ = call;
  for (std::size_t i = 0; i < digis.size(); ++i) peer_ += (i == 0 ? " VIA " : ",") + digis[i];
  link_ = Link::Connecting;
  far_.Connect(call, digis);
  far_.Poll(now);
}

}  // namespace nami
