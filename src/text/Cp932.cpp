#include "text/Cp932.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "text/ShiftJis.h"

namespace nami {
namespace {

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert CP932");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can; returns false at an invalid or unmappable
  // sequence (with `in` left at it) and true when all input was consumed.
  bool Run(const char*& in, std::size_t& inLeft, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[1024];
    while (inLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      char* src = const_cast<char*>(in);
      std::size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
      in = src;
      out.append(buffer, sizeof buffer - dstLeft);
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        return false;  // EILSEQ or EINVAL (truncated sequence at the end)
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& Decoder() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}
Converter& Encoder() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

std::size_t Utf8SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() * 3 / 2);
  const char* in = cp932.data();
  std::size_t left = cp932.size();
  while (!Decoder().Run(in, left, out)) {
    // An invalid sequence: one replacement character for a lead byte with
    // a possible trail byte (the pair has no character), else for the byte.
    unsigned char trail = left >= 2 ? static_cast<unsigned char>(in[1]) : 0;
    unsigned char lead = static_cast<unsigned char>(*in);
    bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    bool pair = leadOk && left >= 2 && trail >= 0x40 && trail != 0x7F && trail <= 0xFC;
    out += "\xEF\xBF\xBD";
    std::size_t skip = pair ? 2 : 1;
    if (skip > left) skip = left;
    in += skip;
    left -= skip;
  }
  return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const char* in = utf8.data();
  std::size_t left = utf8.size();
  while (!Encoder().Run(in, left, out)) {
    out += '?';
    // Skip the lead byte and only the continuation bytes that follow it.
    std::size_t want = Utf8SequenceLength(static_cast<unsigned char>(*in));
    std::size_t skip = 1;
    while (skip < want && skip < left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    in += skip;
    left -= skip;
  }
  return out;
}

bool Utf8ToCp932Exact(std::string_view utf8, std::string& cp932) {
  cp932.clear();
  cp932.reserve(utf8.size());
  const char* in = utf8.data();
  std::size_t left = utf8.size();
  return Encoder().Run(in, left, cp932);
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t n = Utf8SequenceLength(b);
    if (n == 1) {
      if (b >= 0x80) return false;  // a stray continuation byte or 0xF8..0xFF
      ++i;
      continue;
    }
    if (i + n > bytes.size()) return false;
    char32_t cp = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    // Over-long forms, surrogates and values past U+10FFFF are not UTF-8.
    static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += n;
  }
  return true;
}

}  // namespace nami
