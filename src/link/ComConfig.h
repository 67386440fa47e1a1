// The port configuration string ("comstatus", e.g. "COM2:9600,n,8,1,n"),
// taken apart by position the way the program always has:
//  - the device: the first 4 characters ("COM10..." therefore names COM1);
//  - the flow-control letter: the last character;
//  - the line settings: the string less its last 2 characters, read like
//    the classic mode command ("COM2:9600,n,8,1").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nami {

struct LineSettings {
  int baud = 9600;
  char parity = 'n';  // n, e, o, m, s
  int dataBits = 8;   // 5..8
  int stopBits = 1;   // 1 or 2 (1.5 is kept as 2)
};

enum class FlowControl { Unchanged, XonXoff, Hardware, Both, None };

struct ComConfig {
  std::string device;                  // first 4 characters
  std::string modeString;              // the string less its last 2 characters
  FlowControl flow = FlowControl::Unchanged;
  std::optional<LineSettings> line;    // empty when the mode string is rejected
};

ComConfig ParseComConfig(std::string_view comstatus);

// Reads a mode string ("COM2:9600,n,8,1", "9600,n,8,1", "96,e,7,1");
// empty when it is not a valid one.
std::optional<LineSettings> ParseModeString(std::string_view mode);

FlowControl FlowFromLetter(char c);

}  // namespace nami
