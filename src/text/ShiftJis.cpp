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

}  // namespace nami
