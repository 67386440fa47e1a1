#include "sim/BbsFarSide.h"

#include <algorithm>

namespace nami::sim {
namespace {

// "QZ1ABC-0" and "QZ1ABC" are the same station.
std::string Normal(std::string call) {
  if (call.size() > 2 && call.compare(call.size() - 2, 2, "-0") == 0) call.resize(call.size() - 2);
  return call;
}

}  // namespace

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

void CBbsFarSide::Connect(const std::string& call, const std::vector<std::string>& via) {
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
