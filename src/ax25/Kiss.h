// KISS framing between a host and a KISS TNC: frames between FEND bytes,
// FEND and FESC inside a frame escaped, and a command byte first whose high
// nibble is the TNC's port (channel) and low nibble the command (0 = data,
// 1..5 = the TNC parameters).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nami::ax25 {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;

enum class EKissCommand : std::uint8_t {
  Data = 0,
  TxDelay = 1,   // in 10 ms units
  Persist = 2,   // p = (value + 1) / 256
  SlotTime = 3,  // in 10 ms units
  TxTail = 4,
  FullDuplex = 5,
  SetHardware = 6,
};

// One KISS frame: FEND, command byte, escaped payload, FEND.
std::string KissWrap(std::string_view payload, int port = 0, EKissCommand command = EKissCommand::Data);
// A parameter frame with a one-byte value.
std::string KissParameter(EKissCommand command, std::uint8_t value, int port = 0);

// Takes a KISS byte stream in any chunking and yields the data frames for one
// port. Everything else is dropped and counted: bytes outside frames, frames
// with a bad escape, frames longer than the limit, frames for other ports or
// with other commands, and a frame cut off by the end of the stream.
class CKissDeframer {
 public:
  struct SCounts {
    std::size_t frames = 0;     // data frames delivered
    std::size_t badEscape = 0;  // FESC followed by neither TFEND nor TFESC
    std::size_t oversize = 0;   // longer than the limit
    std::size_t otherPort = 0;  // for another port, or not a data frame
    std::size_t cutOff = 0;     // unfinished when the stream ended
    std::size_t dropped() const { return badEscape + oversize + otherPort + cutOff; }
  };

  explicit CKissDeframer(int port = 0, std::size_t maxFrame = 4096) : port_(port), maxFrame_(maxFrame) {}

  // Appends every data frame completed by `bytes` (without the command byte).
  void Feed(std::string_view bytes, std::vector<std::string>& frames);
  // The stream ended (connection closed): an unfinished frame is counted and dropped.
  void EndOfStream();
  const SCounts& Counts() const { return counts_; }

 private:
  void Finish(std::vector<std::string>& frames);

  int port_;
  std::size_t maxFrame_;
  std::string buf_;
  bool inFrame_ = false;  // a FEND has been seen: bytes belong to a frame
  bool escape_ = false;
  bool bad_ = false;  // this frame is spoiled; skip to the next FEND
  bool over_ = false;
  SCounts counts_;
};

}  // namespace nami::ax25
