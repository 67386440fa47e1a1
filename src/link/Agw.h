// AGWPE frames: a 36-byte header (radio port, kind letter, PID, the two
// callsigns in 10-byte fields, the data length, little-endian) and the data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nami::agw {

inline constexpr std::size_t kHeaderSize = 36;
// Longer data than this is taken for a broken stream (Dire Wolf itself never
// sends more than a few kilobytes in one frame).
inline constexpr std::size_t kMaxData = 16384;

struct SFrame {
  int port = 0;
  char kind = 0;
  int pid = 0;
  std::string from;
  std::string to;
  std::string data;
};

std::string Encode(const SFrame& frame);

// Takes a byte stream apart into frames.
class CDecoder {
 public:
  enum class Result { Frame, NeedMore, Bad };
  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next complete frame; Bad (with `error`) when the stream is not
  // AGWPE: a length beyond kMaxData or callsign fields with control bytes.
  Result Next(SFrame& frame, std::string& error);
  std::size_t Buffered() const { return buffer_.size(); }
  void Clear() { buffer_.clear(); }

 private:
  std::string buffer_;
};

// The data of a 'v' (connect via) frame: the count, then each digipeater in
// 10 bytes.
std::string ViaData(const std::vector<std::string>& via);
// The digipeaters of a 'v' frame's data; false when it is malformed.
bool ParseViaData(std::string_view data, std::vector<std::string>& via);

}  // namespace nami::agw
