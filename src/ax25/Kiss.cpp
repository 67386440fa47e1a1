#include "ax25/Kiss.h"

namespace nami::ax25 {

std::string KissWrap(std::string_view payload, int port, EKissCommand command) {
  std::string out;
  out.reserve(payload.size() + payload.size() / 8 + 3);
  out.push_back(static_cast<char>(kFend));
  out.push_back(static_cast<char>(((port & 0x0F) << 4) | static_cast<int>(command)));
  for (char c : payload) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == kFend) {
      out.push_back(static_cast<char>(kFesc));
      out.push_back(static_cast<char>(kTfend));
    } else if (b == kFesc) {
      out.push_back(static_cast<char>(kFesc));
      out.push_back(static_cast<char>(kTfesc));
    } else {
      out.push_back(c);
    }
  }
  out.push_back(static_cast<char>(kFend));
  return out;
}

std::string KissParameter(EKissCommand command, std::uint8_t value, int port) {
  return KissWrap(std::string(1, static_cast<char>(value)), port, command);
}

void CKissDeframer::Finish(std::vector<std::string>& frames) {
  if (bad_) {
    ++counts_.badEscape;
  } else if (over_) {
    ++counts_.oversize;
  } else if (!buf_.empty()) {
    const auto cmd = static_cast<std::uint8_t>(buf_[0]);
    if ((cmd & 0x0F) != static_cast<int>(EKissCommand::Data) || (cmd >> 4) != port_) {
      ++counts_.otherPort;
    } else {
      ++counts_.frames;
      frames.emplace_back(buf_.substr(1));
    }
  }
  buf_.clear();
  escape_ = bad_ = over_ = false;
}

void CKissDeframer::Feed(std::string_view bytes, std::vector<std::string>& frames) {
  for (char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == kFend) {
      // Bytes before the first FEND are noise on the line; from here on a
      // FEND both ends one frame and starts the next.
      if (inFrame_) Finish(frames);
      inFrame_ = true;
      continue;
    }
    if (!inFrame_ || bad_ || over_) continue;
    if (escape_) {
      escape_ = false;
      if (b == kTfend) {
        c = static_cast<char>(kFend);
      } else if (b == kTfesc) {
        c = static_cast<char>(kFesc);
      } else {
        bad_ = true;
        buf_.clear();
        continue;
      }
    } else if (b == kFesc) {
      escape_ = true;
      continue;
    }
    if (buf_.size() > maxFrame_) {
      over_ = true;
      buf_.clear();
      buf_.shrink_to_fit();
      continue;
    }
    buf_.push_back(c);
  }
}

void CKissDeframer::EndOfStream() {
  if (inFrame_ && (!buf_.empty() || bad_ || over_ || escape_)) ++counts_.cutOff;
  buf_.clear();
  inFrame_ = escape_ = bad_ = over_ = false;
}

}  // namespace nami::ax25
