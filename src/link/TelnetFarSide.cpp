#include "link/TelnetFarSide.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "text/Messages.h"

namespace nami {
namespace {

constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
// What the terminal shows where the BBS echoes the password (its length hidden too).
constexpr std::string_view kMask = "********";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A login prompt: the text of the unfinished line ends in ':' or '>' (and
// perhaps blanks) and names what it asks for.
enum class Prompt { None, Call, Password };
Prompt Classify(const std::string& line) {
  std::string l = Lower(line);
  while (!l.empty() && l.back() == ' ') l.pop_back();
  if (l.empty() || (l.back() != ':' && l.back() != '>' && l.back() != '?')) return Prompt::None;
  if (l.size() > 40) return Prompt::None;
  if (l.find("password") != std::string::npos || l.find("passwd") != std::string::npos) return Prompt::Password;
  for (const char* word : {"callsign", "call sign", "login", "user", "your call", "call :", "call:", "name"})
    if (l.find(word) != std::string::npos) return Prompt::Call;
  return Prompt::None;
}

// The BBS's own prompt ("JA1XYZ BBS>", "de JA1XYZ>"): the unfinished line
// ends in '>' and asks for no login.
bool BbsPrompt(const std::string& line) {
  std::string l = line;
  while (!l.empty() && l.back() == ' ') l.pop_back();
  return !l.empty() && l.back() == '>' && Classify(line) == Prompt::None;
}

}  // namespace

CTelnetFarSide::CTelnetFarSide(std::string name, std::string host, int port, PasswordSource password)
    : name_(name), host_(std::move(host)), port_(port), password_(std::move(password)), tcp_(std::move(name)) {}

std::string CTelnetFarSide::SignOn(const std::string& myCall) const {
  return "nami TNC2 on " + name_ + ", MYCALL " + myCall;
}

bool CTelnetFarSide::SetMyCall(const std::string& call) {
  myCall_ = call;
  return true;
}

void CTelnetFarSide::Close() {
  tcp_.Close();
  state_ = State::Idle;
  failure_.clear();
}

void CTelnetFarSide::Connect(const std::string& call, const std::vector<std::string>&) {
  call_ = call;
  iac_ = Iac::Data;
  answered_.clear();
  negotiation_ = 0;
  partial_.clear();
  sentCall_ = sentPassword_ = false;
  loggingIn_ = false;
  secret_.clear();
  held_.clear();
  state_ = State::Connecting;
  if (!tcp_.Connect(host_, port_)) failure_ = tcp_.Error();
}

void CTelnetFarSide::Disconnect() {
  if (state_ == State::Idle) return;
  // What the socket has not taken yet goes first; the kernel sends what it
  // holds before the connection's end.
  tcp_.Poll();
  tcp_.Close();
  state_ = State::Closing;
}

bool CTelnetFarSide::SendData(std::string_view bytes) {
  if (state_ != State::Connected) return false;
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    out.push_back(c);
    if (static_cast<unsigned char>(c) == kIac) out.push_back(static_cast<char>(kIac));
    if (c == '\r') out.push_back('\n');
  }
  tcp_.Write(out);
  return true;
}

std::string CTelnetFarSide::Strip(std::string_view in) {
  std::string text;
  for (char ch : in) {
    const auto c = static_cast<unsigned char>(ch);
    switch (iac_) {
      case Iac::Data:
        if (c == kIac) {
          iac_ = Iac::Command;
          ++negotiation_;
        } else if (c != 0) {
          text.push_back(ch);  // CR NUL is a plain CR
        }
        break;
      case Iac::Command:
        ++negotiation_;
        if (c == kIac) {
          text.push_back(ch);
          iac_ = Iac::Data;
        } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
          verb_ = c;
          iac_ = Iac::Option;
        } else if (c == kSb) {
          iac_ = Iac::Sub;
        } else {
          iac_ = Iac::Data;  // a two-byte command (NOP, GA, ...)
        }
        break;
      case Iac::Option: {
        ++negotiation_;
        // Refuse once per option and direction; never answer a refusal (no loops).
        const int key = verb_ << 8 | c;
        if ((verb_ == kWill || verb_ == kDo) && answered_.insert(key).second) {
          const char reply[] = {static_cast<char>(kIac), static_cast<char>(verb_ == kWill ? kDont : kWont),
                                static_cast<char>(c)};
          tcp_.Write(std::string_view(reply, 3));
        }
        iac_ = Iac::Data;
        break;
      }
      case Iac::Sub:
        ++negotiation_;
        if (c == kIac) iac_ = Iac::SubIac;
        break;
      case Iac::SubIac:
        ++negotiation_;
        iac_ = c == kSe ? Iac::Data : Iac::Sub;
        break;
    }
  }
  return text;
}

void CTelnetFarSide::AnswerPrompt() {
  Prompt p = Classify(partial_);
  if (p == Prompt::Call && !sentCall_) {
    sentCall_ = true;
    tcp_.Write(myCall_ + "\r\n");
    partial_.clear();
  } else if (p == Prompt::Password && !sentPassword_) {
    sentPassword_ = true;
    FileFault fault;
    const std::string password = password_ ? password_(fault) : std::string();
    if (password.empty()) {
      failure_ = msg::Format(fault.Failed() ? msg::PasswordRefused : msg::NoPassword,
                             {{"link", name_}, {"file", fault.path}, {"reason", FileFaultText(fault)}});
      return;
    }
    tcp_.Write(password + "\r\n");
    secret_ = password;
    partial_.clear();
  }
}

std::string CTelnetFarSide::Mask(std::string text, bool hold) {
  if (secret_.empty()) return text;
  for (std::size_t at = 0; (at = text.find(secret_, at)) != std::string::npos; at += kMask.size())
    text.replace(at, secret_.size(), kMask);
  for (std::size_t n = hold ? std::min(text.size(), secret_.size() - 1) : 0; n > 0; --n) {
    if (text.compare(text.size() - n, n, secret_, 0, n) == 0) {
      held_ = text.substr(text.size() - n);
      text.resize(text.size() - n);
      break;
    }
  }
  return text;
}

void CTelnetFarSide::FollowLogin(const std::string& lines, bool ended, std::int64_t now) {
  if (!loggingIn_) return;
  // The first line the BBS ends after the password, its own prompt, or the
  // time: the session has begun and a "password:" now is the BBS's text.
  bool prompt = false;
  for (std::size_t start = 0; start <= lines.size() && !prompt;) {
    const std::size_t end = std::min(lines.find_first_of("\r\n", start), lines.size());
    prompt = BbsPrompt(lines.substr(start, end - start));
    start = end + 1;
  }
  if (now >= loginEndsAt_ || (ended && !secret_.empty()) || prompt) loggingIn_ = false;
}

void CTelnetFarSide::Deliver(std::string text, std::int64_t now, bool more) {
  text = Mask(held_.empty() ? std::move(text) : std::exchange(held_, {}) + text, more);
  if (!held_.empty()) heldAt_ = now;
  if (text.empty()) return;
  events_->OnData(now, text);
  // The lines this text ended or began, whole.
  const std::string lines = partial_ + text;
  std::size_t end = text.find_last_of("\r\n");
  partial_ = end == std::string::npos ? partial_ + text : text.substr(end + 1);
  if (partial_.size() > 256) partial_.erase(0, partial_.size() - 256);
  FollowLogin(lines, end != std::string::npos, now);
  if (loggingIn_) AnswerPrompt();
}

std::int64_t CTelnetFarSide::NextEventMs() const {
  std::int64_t next = state_ == State::Connected && tcp_.Unsent() > 0 ? polledAt_ + kUnsentMs : -1;
  if (!held_.empty() && (next < 0 || heldAt_ + kHoldMs < next)) next = heldAt_ + kHoldMs;
  return next;
}

void CTelnetFarSide::Poll(std::int64_t now) {
  polledAt_ = now;
  if (!events_) return;
  if (state_ == State::Closing) {
    state_ = State::Idle;
    events_->OnDisconnected(now);
    return;
  }
  if (!failure_.empty()) {
    std::string why;
    why.swap(failure_);
    tcp_.Close();
    state_ = State::Idle;
    events_->OnFailure(now, why);
    return;
  }
  if (state_ == State::Idle) return;
  bool alive = tcp_.Poll();
  if (alive && state_ == State::Connecting && tcp_.IsOpen()) {
    state_ = State::Connected;
    loggingIn_ = true;
    loginEndsAt_ = now + kLoginMs;
    events_->OnConnected(now, call_);
  }
  std::string bytes;
  if (alive) alive = tcp_.Read(bytes, std::min<std::size_t>(inputRoom_, 65536));
  if (!bytes.empty() && state_ == State::Connected) {
    std::string text = Strip(bytes);
    if (negotiation_ > kMaxNegotiation) {
      tcp_.Close();
      state_ = State::Idle;
      events_->OnFailure(now, name_ + ": the server floods telnet option negotiation");
      return;
    }
    if (!text.empty()) Deliver(std::move(text), now);
  }
  // A kept-back tail that no more text followed was no password after all.
  if (!held_.empty() && state_ == State::Connected && (now >= heldAt_ + kHoldMs || !alive))
    Deliver(std::exchange(held_, {}), now, false);
  if (!alive) {
    const bool wasUp = state_ == State::Connected;
    const std::string why = tcp_.Error();
    tcp_.Close();
    state_ = State::Idle;
    // The BBS ending the session (after "B", or refusing the login) is a
    // plain disconnect; a connection that never came up is a failure.
    if (wasUp && tcp_.PeerClosed())
      events_->OnDisconnected(now);
    else
      events_->OnFailure(now, why);
  }
}

}  // namespace nami
