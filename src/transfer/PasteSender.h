// Paste-send: clipboard text sent to the link as if typed.
//
// Each pane has its own paste buffer (32,767 bytes and a terminator) and
// send position, and sends while it is started (one pane at a time, see
// CTransfers). The text goes out in groups of up to three bytes, one group only
// when the port's transmit queue is empty; a NUL ends the text. Every line
// end of the clipboard text (CR LF, a lone LF as Linux programs copy it, a
// lone CR) goes out as one CR.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "terminal/NamiDoc.h"

namespace nami {

class CPasteSender final : public ISender {
 public:
  static constexpr std::size_t kBufferSize = 32768;  // text and its terminator

  explicit CPasteSender(CNamiDoc& doc) : doc_(doc) {}

  // Copies `text` into the paste buffer, up to its first NUL, with each
  // line end made one CR, and rewinds the send position. Text that does not
  // fit is cut at a character start; returns how many bytes were cut off.
  std::size_t Load(const std::string& text);
  // Sending starts (the owner pushes the sender) and stops.
  void Start() { sending_ = true; }
  void Stop() { sending_ = false; }
  bool Sending() const { return sending_; }
  // Sends the next group when the transmit queue is empty; false once the
  // text has ended or the sender was stopped.
  bool Step() override;

  bool Empty() const { return buffer_[0] == '\0'; }
  std::size_t Position() const { return position_; }
  std::size_t Length() const { return length_; }

 private:
  CNamiDoc& doc_;
  std::array<char, kBufferSize> buffer_{};
  std::size_t position_ = 0;
  std::size_t length_ = 0;
  bool sending_ = false;
};

}  // namespace nami
