#include "link/ComConfig.h"

#include <vector>

namespace nami {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int ParseBaud(std::string_view s) {
  if (!AllDigits(s) || s.size() > 7) return 0;
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  // The mode command's two-digit abbreviations.
  switch (v) {
    case 11: return 110;
    case 15: return 150;
    case 30: return 300;
    case 60: return 600;
    case 12: return 1200;
    case 24: return 2400;
    case 48: return 4800;
    case 96: return 9600;
    case 19: return 19200;
    default: break;
  }
  static const int kRates[] = {110,   300,   600,   1200,   2400,   4800,   9600,   14400,  19200,
                               38400, 57600, 115200, 230400, 460800, 500000, 576000, 921600};
  for (int r : kRates)
    if (r == v) return v;
  return 0;
}

}  // namespace

FlowControl FlowFromLetter(char c) {
  switch (c) {
    case 'x': case 'X': return FlowControl::XonXoff;
    case 'h': case 'H': return FlowControl::Hardware;
    case 's': case 'S': return FlowControl::Both;
    case 'n': case 'N': return FlowControl::None;
    default: return FlowControl::Unchanged;
  }
}

std::optional<LineSettings> ParseModeString(std::string_view mode) {
  std::size_t colon = mode.find(':');
  if (colon != std::string_view::npos) mode = mode.substr(colon + 1);
  std::vector<std::string_view> fields;
  while (true) {
    std::size_t comma = mode.find(',');
    fields.push_back(Trim(mode.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    mode = mode.substr(comma + 1);
  }
  if (fields.empty() || fields.size() > 4) return std::nullopt;
  LineSettings s;
  s.baud = ParseBaud(fields[0]);
  if (s.baud == 0) return std::nullopt;
  // Fields left out take the mode command's defaults: even parity, 7 data
  // bits, 1 stop bit (2 at 110 baud).
  s.parity = 'e';
  s.dataBits = 7;
  s.stopBits = s.baud == 110 ? 2 : 1;
  if (fields.size() > 1 && !fields[1].empty()) {
    if (fields[1].size() != 1) return std::nullopt;
    char p = static_cast<char>(fields[1][0] | 0x20);
    if (p != 'n' && p != 'e' && p != 'o' && p != 'm' && p != 's') return std::nullopt;
    s.parity = p;
  }
  if (fields.size() > 2 && !fields[2].empty()) {
    if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') return std::nullopt;
    s.dataBits = fields[2][0] - '0';
  }
  if (fields.size() > 3 && !fields[3].empty()) {
    if (fields[3] == "1") s.stopBits = 1;
    else if (fields[3] == "1.5" || fields[3] == "2") s.stopBits = 2;
    else return std::nullopt;
  }
  return s;
}

ComConfig ParseComConfig(std::string_view comstatus) {
  ComConfig c;
  c.device = std::string(comstatus.substr(0, 4));
  if (!comstatus.empty()) c.flow = FlowFromLetter(comstatus.back());
  if (comstatus.size() > 2) c.modeString = std::string(comstatus.substr(0, comstatus.size() - 2));
  c.line = ParseModeString(c.modeString);
  return c;
}

}  // namespace nami
