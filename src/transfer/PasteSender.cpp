#include "transfer/PasteSender.h"

#include <cstring>

#include "text/ShiftJis.h"

namespace nami {

std::size_t CPasteSender::Load(const std::string& clipboard) {
  std::string text;
  text.reserve(clipboard.size());
  const std::size_t end = strnlen(clipboard.data(), clipboard.size());
  for (std::size_t i = 0; i < end; ++i) {
    const char b = clipboard[i];
    if (b == '\n') {
      text += '\r';
    } else {
      text += b;
      // A CR and the LF after it are one line end. (LF and CR are never the
      // second byte of a two-byte character.)
      if (b == '\r' && i + 1 < end && clipboard[i + 1] == '\n') ++i;
    }
  }
  const std::size_t length = text.size();
  std::size_t keep = length < kBufferSize ? length : kBufferSize - 1;
  if (keep < length) {
    // Do not send half of a two-byte character at the cut.
    std::size_t i = 0;
    while (i < keep) i += IsLeadByte(text[i]) ? 2 : 1;
    if (i > keep) keep = i - 2;
  }
  std::memcpy(buffer_.data(), text.data(), keep);
  buffer_[keep] = '\0';
  length_ = keep;
  position_ = 0;
  return length - keep;
}

bool CPasteSender::Step() {
  if (!sending_) return false;
  if (doc_.Sending().QueueCount() >= 1) return true;
  if (Empty()) {
    sending_ = false;
    return false;
  }
  char group[3];
  std::size_t taken = 0;
  while (taken < 3 && position_ < kBufferSize) {
    const char b = buffer_[position_];
    if (b == '\0') {
      sending_ = false;
      break;
    }
    ++position_;
    group[taken++] = b;
  }
  // Bytes the port does not take within its time-out are not retried.
  if (taken > 0) doc_.SendText(std::string_view(group, taken));
  return sending_;
}

}  // namespace nami
