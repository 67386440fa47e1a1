#include "sim/Tnc2.h"

#include <algorithm>
#include <cctype>

namespace nami::sim {
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

bool IsCall(std::string_view call) {
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

// "QZ1ABC-0" and "QZ1ABC" are the same station.
std::string Normal(std::string call) {
  if (call.size() > 2 && call.compare(call.size() - 2, 2, "-0") == 0) call.resize(call.size() - 2);
  return call;
}

}  // namespace

CTnc2::CTnc2(CBbs& bbs, IClock& clock, STncOptions options)
    : bbs_(bbs), clock_(clock), options_(std::move(options)) {
  echo_ = options_.echo;
  myCall_ = Upper(options_.myCall);
}

std::string CTnc2::End() const {
  switch (options_.lineEnd) {
    case LineEnd::Cr:
      return "\r";
    case LineEnd::Lf:
      return "\n";
    case LineEnd::CrLf:
      break;
  }
  return "\r\n";
}

void CTnc2::PowerOn() {
  if (bbs_.InSession()) bbs_.Drop();
  out_.clear();
  pendingBytes_ = 0;
  std::int64_t now = clock_.MonotonicMs();
  lastDue_ = now;
  atLineStart_ = true;
  link_ = Link::Disconnected;
  commandMode_ = true;
  echo_ = options_.echo;
  myCall_ = Upper(options_.myCall);
  command_.clear();
  peer_.clear();
  EmitLine("TNC-2 simulator 1.0 (nami-tncsim), MYCALL " + myCall_ + ", BBS " + bbs_.Call(), now, options_.answerDelayMs);
  Emit("cmd:", now, 0);
}

void CTnc2::Emit(std::string bytes, std::int64_t at, int delayMs) {
  if (bytes.empty()) return;
  std::int64_t due = std::max(at, lastDue_) + delayMs;
  lastDue_ = due;
  char last = bytes.back();
  atLineStart_ = last == '\r' || last == '\n';
  pendingBytes_ += bytes.size();
  if (!out_.empty() && out_.back().due == due) {
    out_.back().bytes += bytes;
  } else {
    out_.push_back({due, std::move(bytes)});
  }
}

void CTnc2::EmitLine(const std::string& text, std::int64_t at, int delayMs) { Emit(text + End(), at, delayMs); }

void CTnc2::NewLine(std::int64_t at) {
  if (!atLineStart_) Emit(End(), at, 0);
}

void CTnc2::CmdPrompt(std::int64_t at) {
  NewLine(at);
  Emit("cmd:", at, 0);
}

std::int64_t CTnc2::NextEventMs() const {
  std::int64_t next = out_.empty() ? -1 : out_.front().due;
  if (link_ == Link::Connecting && options_.failure != LinkFailure::Silent)
    next = next < 0 ? connectAt_ : std::min(next, connectAt_);
  return next;
}

std::size_t CTnc2::TakeDue(std::string& out, std::size_t max) {
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

void CTnc2::Advance(std::int64_t now) {
  if (link_ != Link::Connecting || options_.failure == LinkFailure::Silent || now < connectAt_) return;
  std::int64_t at = connectAt_;
  if (!peerIsBbs_ || options_.failure == LinkFailure::Connect) {
    LinkDown("*** retry count exceeded", at);
    return;
  }
  if (options_.failure == LinkFailure::Busy) {
    std::string call = peer_.substr(0, peer_.find(' '));
    LinkDown(("*** " + call + " busy").c_str(), at);
    return;
  }
  link_ = Link::Connected;
  commandMode_ = false;
  command_.clear();
  sessionLines_ = 0;
  NewLine(at);
  EmitLine("*** CONNECTED to " + peer_, at);
  DeliverBbs(bbs_.Connect(myCall_, clock_.Now()), at);
}

void CTnc2::LinkDown(const char* reason, std::int64_t at) {
  if (bbs_.InSession()) bbs_.Drop();
  link_ = Link::Disconnected;
  commandMode_ = true;
  command_.clear();
  NewLine(at);
  if (reason) EmitLine(reason, at, options_.answerDelayMs);
  EmitLine("*** DISCONNECTED", at);
  Emit("cmd:", at, 0);
}

void CTnc2::Receive(std::string_view bytes) {
  std::int64_t now = clock_.MonotonicMs();
  Advance(now);
  while (!bytes.empty()) {
    if (bytes.front() == kCtrlC) {
      bytes.remove_prefix(1);
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

void CTnc2::CommandByte(char c, std::int64_t now) {
  if (c == '\r') {
    if (echo_) Emit(End(), now, 0);
    std::string line;
    line.swap(command_);
    RunCommand(line, now);
  } else if (c == '\b' || c == 0x7F) {
    if (!command_.empty()) {
      command_.pop_back();
      if (echo_) Emit("\b \b", now, 0);
    }
  } else if (c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
    if (command_.size() < kMaxCommand) {
      command_.push_back(c);
      if (echo_) Emit(std::string(1, c), now, 0);
    } else {
      Emit("\a", now, 0);  // the line is full
    }
  }
  // LF and other control bytes are ignored in command mode.
}

void CTnc2::ConverseBytes(std::string_view bytes, std::int64_t now) {
  if (link_ != Link::Connected) return;  // nowhere to go
  std::vector<std::string> lines = bbs_.Receive(bytes, clock_.Now());
  DeliverBbs(lines, now);
}

void CTnc2::DeliverBbs(const std::vector<std::string>& lines, std::int64_t at) {
  bool first = true;
  for (const std::string& line : lines) {
    if (options_.failure == LinkFailure::DropAfter && sessionLines_ >= options_.dropAfterLines) {
      LinkDown("*** retry count exceeded", at);
      return;
    }
    ++sessionLines_;
    if (first) NewLine(at);  // BBS text arriving while a command is typed
    EmitLine(line, at, first ? options_.answerDelayMs : options_.lineDelayMs);
    first = false;
  }
  if (link_ == Link::Connected && !bbs_.InSession()) LinkDown(nullptr, at);  // the BBS hung up after B
}

void CTnc2::RunCommand(const std::string& line, std::int64_t now) {
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
      LinkDown(nullptr, now);
      return;
    }
  } else if (Is(cmd, "MYCALL", 2)) {
    if (words.size() == 1) {
      EmitLine("MYCALL " + myCall_, now);
    } else if (link_ != Link::Disconnected) {
      EmitLine("Not while connected", now);
    } else if (!IsCall(Upper(words[1]))) {
      EmitLine("?bad callsign", now);
    } else {
      myCall_ = Upper(words[1]);
    }
  } else if (Is(cmd, "ECHO", 1)) {
    std::string arg = words.size() > 1 ? Upper(words[1]) : std::string();
    if (arg.empty()) EmitLine(echo_ ? "ECHO ON" : "ECHO OFF", now);
    else if (arg == "ON" || arg == "YES") echo_ = true;
    else if (arg == "OFF" || arg == "NO") echo_ = false;
    else EmitLine("?bad parameter", now);
  } else {
    EmitLine("?EH", now);
  }
  CmdPrompt(now);
}

void CTnc2::Connect(const std::vector<std::string>& words, std::int64_t now) {
  if (words.size() == 1) {
    if (link_ == Link::Connected) EmitLine("Link state is: CONNECTED to " + peer_, now);
    else if (link_ == Link::Connecting) EmitLine("Link state is: CONNECT in progress", now);
    else EmitLine("Link state is: DISCONNECTED", now);
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
    if (i == 2 || !IsCall(w) || digis.size() >= 8) ok = false;
    else digis.push_back(w);
  }
  if (!ok || (words.size() > 2 && digis.empty())) {
    EmitLine("?bad callsign", now);
    CmdPrompt(now);
    return;
  }
  peer_ = call;
  for (std::size_t i = 0; i < digis.size(); ++i) peer_ += (i == 0 ? " VIA " : ",") + digis[i];
  peerIsBbs_ = Normal(call) == Normal(bbs_.Call());
  link_ = Link::Connecting;
  int hops = static_cast<int>(digis.size()) + 1;
  // A failing attempt takes the time of all its retries.
  int factor = (options_.failure == LinkFailure::Connect || !peerIsBbs_) ? 3 : 1;
  connectAt_ = now + static_cast<std::int64_t>(options_.connectDelayMs) * hops * factor;
}

}  // namespace nami::sim
