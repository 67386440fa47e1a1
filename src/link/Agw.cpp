#include "link/Agw.h"

namespace nami::agw {
namespace {

void PutCall(std::string& out, const std::string& call) {
  std::string field = call.substr(0, 9);
  field.resize(10, '\0');
  out += field;
}

std::string GetCall(std::string_view field) {
  std::size_t end = field.find('\0');
  return std::string(field.substr(0, end));
}

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void PutLe32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool PlainCall(std::string_view call) {
  for (char c : call)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
  return true;
}

}  // namespace

std::string Encode(const SFrame& frame) {
  std::string out;
  out.reserve(kHeaderSize + frame.data.size());
  out.push_back(static_cast<char>(frame.port));
  out.append(3, '\0');
  out.push_back(frame.kind);
  out.push_back('\0');
  out.push_back(static_cast<char>(frame.pid));
  out.push_back('\0');
  PutCall(out, frame.from);
  PutCall(out, frame.to);
  PutLe32(out, static_cast<std::uint32_t>(frame.data.size()));
  PutLe32(out, 0);
  out += frame.data;
  return out;
}

CDecoder::Result CDecoder::Next(SFrame& frame, std::string& error) {
  if (buffer_.size() < kHeaderSize) return Result::NeedMore;
  std::string_view h(buffer_.data(), kHeaderSize);
  std::uint32_t length = Le32(h, 28);
  if (length > kMaxData) {
    error = "bad frame from the server (data length " + std::to_string(length) + ")";
    return Result::Bad;
  }
  frame.from = GetCall(h.substr(8, 10));
  frame.to = GetCall(h.substr(18, 10));
  if (!PlainCall(frame.from) || !PlainCall(frame.to)) {
    error = "bad frame from the server (not AGWPE)";
    return Result::Bad;
  }
  if (buffer_.size() < kHeaderSize + length) return Result::NeedMore;
  frame.port = static_cast<unsigned char>(h[0]);
  frame.kind = h[4];
  frame.pid = static_cast<unsigned char>(h[6]);
  frame.data.assign(buffer_, kHeaderSize, length);
  buffer_.erase(0, kHeaderSize + length);
  return Result::Frame;
}

std::string ViaData(const std::vector<std::string>& via) {
  std::string out(1, static_cast<char>(via.size()));
  for (const std::string& d : via) PutCall(out, d);
  return out;
}

bool ParseViaData(std::string_view data, std::vector<std::string>& via) {
  via.clear();
  if (data.empty()) return false;
  std::size_t count = static_cast<unsigned char>(data[0]);
  if (count < 1 || count > 8 || data.size() < 1 + count * 10) return false;
  for (std::size_t i = 0; i < count; ++i) via.push_back(GetCall(data.substr(1 + i * 10, 10)));
  return true;
}

}  // namespace nami::agw
