#include "text/ShiftJis.h"

#include <climits>
#include <cstring>

namespace nami {

std::size_t FindAtCharStart(std::string_view hay, std::string_view needle, std::size_t from) {
  if (from > hay.size()) return std::string::npos;
  if (needle.empty()) return from;
  if (needle.size() > hay.size()) return std::string::npos;
  const std::size_t last = hay.size() - needle.size();
  std::size_t i = from;
  while (i <= last) {
    if (hay[i] == needle[0] && std::memcmp(hay.data() + i, needle.data(), needle.size()) == 0) return i;
    i += IsLeadByte(hay[i]) ? 2 : 1;
  }
  return std::string::npos;
}

long long LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (value > (LLONG_MAX - digit) / 10) {
      value = LLONG_MAX;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::string VisibleControls(std::string_view cp932) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(cp932.size());
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (IsLeadByte(b) && i + 1 < cp932.size() && static_cast<unsigned char>(cp932[i + 1]) >= 0x40) {
      out.append(cp932.substr(i, 2));
      ++i;
    } else if (b == 0x1B || b == 0x80) {
      out += '<';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
      out += '>';
    } else if ((b < 0x20 && b != '\t') || b == 0x7F) {
      out += '^';
      out += static_cast<char>(b == 0x7F ? '?' : b + 0x40);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

}  // namespace nami
