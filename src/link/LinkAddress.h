// What a COM port's `[Devices]` value names: a serial device (a path), an
// AGWPE server ("agw://HOST:PORT[/RADIOPORT]"), a BBS's telnet port
// ("telnet://HOST:PORT"), a KISS TNC ("kiss://HOST:PORT[/CHANNEL]" or
// "kiss:DEVICE") or the built-in simulator ("sim:").
#pragma once

#include <string>
#include <string_view>

namespace nami {

enum class LinkKind { Serial, Agw, Telnet, Kiss, Sim, Invalid };

struct SLinkAddress {
  LinkKind kind = LinkKind::Invalid;
  std::string path;  // Serial, Kiss on a serial device: the device
  std::string host;  // Agw, Telnet, Kiss over TCP
  int port = 0;
  int radioPort = 0;  // Agw; Kiss: the KISS channel
  std::string error;  // Invalid: why, naming the value
  // The value written back in its normal form ("agw://localhost:8000/0").
  std::string Text() const;
};

inline constexpr int kAgwDefaultPort = 8000;
inline constexpr int kTelnetDefaultPort = 23;

SLinkAddress ParseLinkAddress(std::string_view value);

}  // namespace nami
