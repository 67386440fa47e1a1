#include "sim/BbsFarSide.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace nami::sim {
namespace {

// "QZ1ABC-0" and "QZ1ABC" are the same station.
std::string Normal(std::string call) {
  if (call.size() > 2 && call.compare(call.size() - 2, 2, "-0") == 0) call.resize(call.size() - 2);
  return call;
}

bool ParseCount(std::string_view text, int& value) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  value = std::atoi(std::string(text).c_str());
  return true;
}

}  // namespace

bool ParseFailure(std::string_view text, STncOptions& options) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos)
    text = {};
  else
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  int n = 0;
  if (text == "none")
    options.failure = LinkFailure::None;
  else if (text == "connect")
    options.failure = LinkFailure::Connect;
  else if (text == "busy")
    options.failure = LinkFailure::Busy;
  else if (text == "silent")
    options.failure = LinkFailure::Silent;
  else if (text.substr(0, 11) == "drop-after:" && ParseCount(text.substr(11), n))
    options.failure = LinkFailure::DropAfter;
  else if (text.substr(0, 11) == "mute-after:" && ParseCount(text.substr(11), n))
    options.failure = LinkFailure::MuteAfter;
  else
    return false;
  options.dropAfterLines = n;
  return true;
}

STnc2Options EngineOptions(const STncOptions& options) {
  STnc2Options o;
  o.lineEnd = options.lineEnd;
  o.answerDelayMs = options.answerDelayMs;
  o.lineDelayMs = options.lineDelayMs;
  o.echo = options.echo;
  o.myCall = options.myCall;
  return o;
}

CBbsFarSide::CBbsFarSide(CBbs& bbs, IClock& clock, STncOptions options)
    : bbs_(bbs), clock_(clock), options_(std::move(options)), myCall_(options_.myCall) {}

std::string CBbsFarSide::SignOn(const std::string& myCall) const {
  return "TNC-2 simulator 1.0 (nami-tncsim), MYCALL " + myCall + ", BBS " + bbs_.Call();
}

bool CBbsFarSide::SetMyCall(const std::string& call) {
  myCall_ = call;
  return true;
}

void CBbsFarSide::Reset() {
  if (bbs_.InSession()) bbs_.Drop();
  state_ = State::Idle;
  answer_.clear();
  dropNow_ = hungUp_ = disconnect_ = false;
}

// A missing or unreadable fault file, or one naming no failure, means none.
void CBbsFarSide::ReadFaultFile() {
  if (options_.faultFile.empty()) return;
  std::ifstream in(options_.faultFile);
  std::stringstream text;
  text << in.rdbuf();
  if (!in || !ParseFailure(text.str(), options_)) options_.failure = LinkFailure::None;
}

void CBbsFarSide::Connect(const std::string& call, const std::vector<std::string>& via) {
  ReadFaultFile();
  call_ = call;
  peer_ = call;
  for (std::size_t i = 0; i < via.size(); ++i) peer_ += (i == 0 ? " VIA " : ",") + via[i];
  peerIsBbs_ = Normal(call) == Normal(bbs_.Call());
  state_ = State::Connecting;
  disconnect_ = false;
  int hops = static_cast<int>(via.size()) + 1;
  // A failing attempt takes the time of all its retries.
  int factor = (options_.failure == LinkFailure::Connect || !peerIsBbs_) ? 3 : 1;
  connectAt_ = clock_.MonotonicMs() + static_cast<std::int64_t>(options_.connectDelayMs) * hops * factor;
}

void CBbsFarSide::Disconnect() {
  if (state_ != State::Idle) disconnect_ = true;
}

bool CBbsFarSide::SendData(std::string_view bytes) {
  if (state_ != State::Connected || dropNow_ || hungUp_) return false;
  Deliver(bbs_.Receive(bytes, clock_.Now()));
  return true;
}

void CBbsFarSide::Deliver(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (options_.failure == LinkFailure::DropAfter && sessionLines_ >= options_.dropAfterLines) {
      dropNow_ = true;
      return;
    }
    if (options_.failure == LinkFailure::MuteAfter && sessionLines_ >= options_.dropAfterLines) return;
    ++sessionLines_;
    answer_ += line;
    // A prompt without its line end waits for the station's next input.
    if (&line != &lines.back() || line != bbs_.Prompt() || bbs_.PromptEndsLine()) answer_ += '\r';
  }
  if (!bbs_.InSession()) hungUp_ = true;  // the BBS hung up after B
}

void CBbsFarSide::DropLink() {
  if (state_ == State::Idle) return;
  answer_.clear();
  dropNow_ = true;
}

void CBbsFarSide::SendUnasked(std::string_view bytes) {
  if (state_ == State::Connected && !dropNow_) answer_ += bytes;
}

std::int64_t CBbsFarSide::NextEventMs() const {
  return state_ == State::Connecting && options_.failure != LinkFailure::Silent ? connectAt_ : -1;
}

void CBbsFarSide::Down(std::int64_t at) {
  (void)at;
  if (bbs_.InSession()) bbs_.Drop();
  state_ = State::Idle;
  answer_.clear();
  dropNow_ = hungUp_ = disconnect_ = false;
}

void CBbsFarSide::Poll(std::int64_t now) {
  if (!events_) return;
  if (dropNow_ && state_ == State::Connecting) {
    Down(now);
    events_->OnRetryExceeded(now);
    return;
  }
  if (state_ == State::Connecting && !disconnect_ && options_.failure != LinkFailure::Silent && now >= connectAt_) {
    std::int64_t at = connectAt_;
    if (!peerIsBbs_ || options_.failure == LinkFailure::Connect) {
      Down(at);
      events_->OnRetryExceeded(at);
      return;
    }
    if (options_.failure == LinkFailure::Busy) {
      Down(at);
      events_->OnBusy(at, call_);
      return;
    }
    state_ = State::Connected;
    sessionLines_ = 0;
    events_->OnConnected(at, peer_);
    Deliver(bbs_.Connect(myCall_, clock_.Now()));
    now = at;
  }
  if (!answer_.empty()) {
    std::string answer;
    answer.swap(answer_);
    events_->OnData(now, answer);
  }
  if (dropNow_) {
    Down(now);
    events_->OnRetryExceeded(now);
  } else if (hungUp_ || disconnect_) {
    Down(now);
    events_->OnDisconnected(now);
  }
}

}  // namespace nami::sim
