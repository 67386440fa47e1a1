#include "link/LinkAddress.h"

#include <cctype>

#include "link/KissFarSide.h"
#include "text/Messages.h"

namespace nami {
namespace {

bool ParsePort(std::string_view text, int max, int& value) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  value = std::stoi(std::string(text));
  return value <= max;
}

bool PlainHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_' && c != ':') return false;
  return true;
}

SLinkAddress Invalid(std::string_view value, const std::string& why) {
  SLinkAddress a;
  a.error = msg::Format(msg::LinkValueInvalid, {{"value", value}, {"reason", why}});
  return a;
}

SLinkAddress KissAddress(std::string_view value) {
  std::string why;
  const auto e = ParseKissDevice(value, &why);
  if (!e) return Invalid(value, why.substr(why.rfind(": ") + 2));
  SLinkAddress a;
  a.kind = LinkKind::Kiss;
  a.host = e->host;
  a.port = e->port;
  a.radioPort = e->channel;
  if (e->kind == SKissEndpoint::EKind::Serial) a.path = e->device;
  return a;
}

// Takes "HOST[:PORT]" or "[IPv6][:PORT]" into `a.host` and `port`; the
// reason when it is not one of them.
std::string SplitHostPort(std::string_view rest, SLinkAddress& a, std::string_view& port) {
  if (!rest.empty() && rest.front() == '[') {  // [IPv6]:port
    std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return msg::LinkUnclosedBracket;
    a.host = std::string(rest.substr(1, close - 1));
    rest = rest.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return msg::LinkTextAfterHost;
    if (!rest.empty()) port = rest.substr(1);
  } else {
    std::size_t colon = rest.rfind(':');
    a.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) port = rest.substr(colon + 1);
    if (a.host.find(':') != std::string::npos) return msg::LinkIpv6Brackets;
  }
  if (!PlainHost(a.host)) return msg::LinkNoHost;
  a.port = a.kind == LinkKind::Agw ? kAgwDefaultPort : kTelnetDefaultPort;
  if (!port.empty() && (!ParsePort(port, 65535, a.port) || a.port == 0))
    return msg::LinkTcpPortRange;
  if (port.empty() && rest.find(':') != std::string_view::npos && rest.back() == ':')
    return msg::LinkTcpPortMissing;
  return {};
}

// "agw://HOST[:PORT][/RADIOPORT]" or "telnet://HOST[:PORT]".
SLinkAddress NetworkAddress(std::string_view value, std::size_t scheme) {
  SLinkAddress a;
  std::string kind(value.substr(0, scheme));
  for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string_view rest = value.substr(scheme + 3);
  if (kind == "agw")
    a.kind = LinkKind::Agw;
  else if (kind == "telnet")
    a.kind = LinkKind::Telnet;
  else
    return Invalid(value, msg::Format(msg::LinkUnknownKind, {{"kind", kind}}));

  if (std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
    std::string_view radio = rest.substr(slash + 1);
    rest = rest.substr(0, slash);
    if (a.kind != LinkKind::Agw) return Invalid(value, msg::LinkTelnetNoRadioPort);
    if (!ParsePort(radio, 255, a.radioPort)) return Invalid(value, msg::LinkRadioPortRange);
  }
  std::string_view port;
  if (const std::string why = SplitHostPort(rest, a, port); !why.empty()) return Invalid(value, why);
  return a;
}

}  // namespace

std::string SLinkAddress::Text() const {
  const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  switch (kind) {
    case LinkKind::Serial:
      return path;
    case LinkKind::Agw:
      return "agw://" + h + ":" + std::to_string(port) + "/" + std::to_string(radioPort);
    case LinkKind::Telnet:
      return "telnet://" + h + ":" + std::to_string(port);
    case LinkKind::Kiss: {
      SKissEndpoint e;
      e.kind = path.empty() ? SKissEndpoint::EKind::Tcp : SKissEndpoint::EKind::Serial;
      e.host = host;
      e.port = port;
      e.channel = radioPort;
      e.device = path;
      return e.ToString();
    }
    case LinkKind::Sim:
      return "sim:";
    case LinkKind::Invalid:
      break;
  }
  return {};
}

SLinkAddress ParseLinkAddress(std::string_view value) {
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  SLinkAddress a;
  if (value.empty()) return Invalid(value, msg::LinkNothingGiven);
  if (value == "sim:" || value == "sim") {
    a.kind = LinkKind::Sim;
    return a;
  }
  if (IsKissDevice(value)) return KissAddress(value);
  std::size_t scheme = value.find("://");
  if (scheme != std::string_view::npos) return NetworkAddress(value, scheme);
  if (value.find('/') == std::string_view::npos)
    return Invalid(value, msg::LinkNeither);
  a.kind = LinkKind::Serial;
  a.path = std::string(value);
  return a;
}

}  // namespace nami
