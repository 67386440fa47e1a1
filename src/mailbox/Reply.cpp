#include "mailbox/Reply.h"

#include <cctype>
#include <cstdio>

#include "text/Cp932.h"

namespace nami::mailbox {

std::string ReplySubject(std::string_view subject) {
  std::size_t i = subject.find_first_not_of(' ');
  if (i == std::string_view::npos) i = subject.size();
  const std::string_view rest = subject.substr(i);
  if (rest.size() >= 3 && std::tolower(static_cast<unsigned char>(rest[0])) == 'r' &&
      std::tolower(static_cast<unsigned char>(rest[1])) == 'e' && rest[2] == ':')
    return std::string(rest);
  return "Re: " + std::string(rest);
}

std::string QuoteBody(std::string_view body) {
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
  if (body.empty()) return {};
  std::string out;
  std::size_t p = 0;
  while (p <= body.size()) {
    std::size_t e = body.find('\n', p);
    if (e == std::string_view::npos) e = body.size();
    std::string_view line = body.substr(p, e - p);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out += "> ";
    out += line;
    out += '\n';
    p = e + 1;
  }
  return out;
}

std::string ForwardBody(std::string_view userText, std::string_view separator, std::string_view headers,
                        std::string_view body) {
  std::string out(userText);
  if (!out.empty() && out.back() != '\n') out += '\n';
  out += '\n';
  out += separator;
  out += '\n';
  out += headers;
  if (!headers.empty() && headers.back() != '\n') out += '\n';
  out += '\n';
  out += body;
  if (!body.empty() && body.back() != '\n') out += '\n';
  return out;
}

bool IsCallsign(std::string_view call) {
  std::string_view base = call;
  if (const auto dash = call.find('-'); dash != std::string_view::npos) {
    const std::string_view ssid = call.substr(dash + 1);
    if (ssid.empty() || ssid.size() > 2 || ssid.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (std::stoi(std::string(ssid)) > 15) return false;
    base = call.substr(0, dash);
  }
  if (base.size() < 3 || base.size() > 7) return false;
  for (char c : base)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  // The last digit splits prefix and suffix: a prefix of one to three
  // characters ending in that digit, a suffix of one to four letters.
  std::size_t digit = base.find_last_of("0123456789");
  if (digit == std::string_view::npos || digit == 0 || digit > 3) return false;
  const std::string_view suffix = base.substr(digit + 1);
  if (suffix.empty() || suffix.size() > 4) return false;
  for (char c : suffix)
    if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  return true;
}

bool IsBulletinAddress(std::string_view to) {
  if (to.empty() || to.size() > 8) return false;
  for (char c : to)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

SUnencodable FindUnencodable(std::string_view utf8) {
  SUnencodable u;
  int line = 1, column = 1;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::string_view ch = utf8.substr(i, n);
    if (c == '\n') {
      ++line;
      column = 1;
      ++i;
      continue;
    }
    std::string bytes;
    if (!Utf8ToCp932Exact(ch, bytes)) {
      unsigned cp = n == 1 ? c : c & (0xFF >> (n + 1));
      for (std::size_t k = 1; k < ch.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(ch[k]) & 0x3F);
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", cp);
      u.found = true;
      u.line = line;
      u.column = column;
      u.character = std::string(ch);
      u.code = code;
      return u;
    }
    ++column;
    i += n;
  }
  return u;
}

}  // namespace nami::mailbox
