#include "station/LinkState.h"

#include <cctype>
#include <cstdio>

#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A TNC2 command word may be cut to any length down to its first letter.
bool IsCommand(std::string_view word, std::string_view full, std::size_t minimum) {
  return word.size() >= minimum && word.size() <= full.size() && full.substr(0, word.size()) == word;
}

}  // namespace

void CLinkState::Enter(LinkPhase phase, std::time_t now) {
  phase_ = phase;
  since_ = now;
}

void CLinkState::Reset() {
  phase_ = LinkPhase::Disconnected;
  failure_ = CallFailure::None;
  peer_.clear();
  since_ = 0;
}

void CLinkState::OnLine(std::string_view line, std::time_t now) {
  const std::string upper = Upper(Trim(line));
  std::string_view text = upper;

  // The TNC's echo of a command typed at its "cmd:" prompt.
  if (text.starts_with("CMD:")) {
    std::string_view command = Trim(text.substr(4));
    const std::size_t space = command.find(' ');
    const std::string_view word = command.substr(0, space);
    if (IsCommand(word, "CONNECT", 1) && space != std::string_view::npos) {
      peer_ = std::string(Trim(command.substr(space + 1)));
      failure_ = CallFailure::None;
      Enter(LinkPhase::Connecting, now);
    } else if (IsCommand(word, "DISCONNECT", 1) && phase_ != LinkPhase::Disconnected) {
      Enter(LinkPhase::Disconnecting, now);
    }
    return;
  }
  if (!text.starts_with("***")) return;
  text = Trim(text.substr(3));
  if (text.starts_with("CONNECTED TO")) {
    const std::string_view peer = Trim(text.substr(12));
    if (!peer.empty()) peer_ = std::string(peer);
    failure_ = CallFailure::None;
    Enter(LinkPhase::Connected, now);
  } else if (text.starts_with("DISCONNECTED")) {
    Enter(LinkPhase::Disconnected, now);
  } else if (text.starts_with("RETRY COUNT EXCEEDED")) {
    failure_ = CallFailure::RetriesExceeded;
  } else if (text.ends_with(" BUSY")) {
    failure_ = CallFailure::Busy;
  }
}

std::string CLinkState::Text(std::time_t now) const {
  const std::string peer = Cp932ToUtf8(peer_);
  switch (phase_) {
    case LinkPhase::Connecting:
      return msg::Format(msg::LinkConnecting, {{"peer", peer}});
    case LinkPhase::Connected: {
      const long long s = now > since_ ? static_cast<long long>(now - since_) : 0;
      char onAir[32];
      std::snprintf(onAir, sizeof onAir, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
      return msg::Format(msg::LinkConnected, {{"peer", peer}, {"time", onAir}});
    }
    case LinkPhase::Disconnecting:
      return msg::Format(msg::LinkDisconnecting, {{"peer", peer}});
    case LinkPhase::Disconnected:
      break;
  }
  switch (failure_) {
    case CallFailure::Busy:
      return msg::Format(msg::LinkNotConnectedBusy, {{"peer", peer}});
    case CallFailure::RetriesExceeded:
      return msg::Format(msg::LinkNotConnectedNoAnswer, {{"peer", peer}});
    case CallFailure::None:
      break;
  }
  return msg::LinkNotConnected;
}

}  // namespace nami
