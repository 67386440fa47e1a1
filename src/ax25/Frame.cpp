#include "ax25/Frame.h"

#include <cctype>

namespace nami::ax25 {
namespace {

constexpr std::size_t kAddrLen = 7;

bool CallChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

void PutAddress(std::string& out, const SAddress& a, bool last) {
  for (std::size_t i = 0; i < 6; ++i) {
    const char c = i < a.call.size() ? a.call[i] : ' ';
    out.push_back(static_cast<char>(static_cast<std::uint8_t>(c) << 1));
  }
  std::uint8_t ssid = 0x60 | static_cast<std::uint8_t>((a.ssid & 0x0F) << 1);
  if (a.bit) ssid |= 0x80;
  if (last) ssid |= 0x01;
  out.push_back(static_cast<char>(ssid));
}

bool GetAddress(std::string_view in, SAddress& a) {
  std::string call;
  bool ended = false;
  for (std::size_t i = 0; i < 6; ++i) {
    const auto byte = static_cast<std::uint8_t>(in[i]);
    if (byte & 1) return false;  // the end bit belongs in the SSID byte only
    const char c = static_cast<char>(byte >> 1);
    if (c == ' ') {
      ended = true;
      continue;
    }
    if (ended || !CallChar(c)) return false;
    call.push_back(c);
  }
  if (call.empty()) return false;
  const auto ssid = static_cast<std::uint8_t>(in[6]);
  a.call = std::move(call);
  a.ssid = (ssid >> 1) & 0x0F;
  a.bit = (ssid & 0x80) != 0;
  return true;
}

}  // namespace

std::string SAddress::ToString() const { return ssid == 0 ? call : call + "-" + std::to_string(ssid); }

std::optional<SAddress> SAddress::Parse(std::string_view text) {
  SAddress a;
  const auto dash = text.find('-');
  const std::string_view call = text.substr(0, dash);
  if (call.empty() || call.size() > 6) return std::nullopt;
  for (char c : call) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!CallChar(u)) return std::nullopt;
    a.call.push_back(u);
  }
  if (dash != std::string_view::npos) {
    const std::string_view num = text.substr(dash + 1);
    if (num.empty() || num.size() > 2) return std::nullopt;
    int v = 0;
    for (char c : num) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
    }
    if (v > 15) return std::nullopt;
    a.ssid = v;
  }
  return a;
}

const char* KindName(EKind kind) {
  switch (kind) {
    case EKind::I:
      return "I";
    case EKind::RR:
      return "RR";
    case EKind::RNR:
      return "RNR";
    case EKind::REJ:
      return "REJ";
    case EKind::SREJ:
      return "SREJ";
    case EKind::SABM:
      return "SABM";
    case EKind::SABME:
      return "SABME";
    case EKind::DISC:
      return "DISC";
    case EKind::DM:
      return "DM";
    case EKind::UA:
      return "UA";
    case EKind::FRMR:
      return "FRMR";
    case EKind::UI:
      return "UI";
    case EKind::XID:
      return "XID";
    case EKind::TEST:
      return "TEST";
    case EKind::Unknown:
      return "?";
  }
  return "?";
}

std::uint8_t EncodeControl(const SFrame& f) {
  const auto pf = static_cast<std::uint8_t>(f.pf ? 0x10 : 0);
  const auto nr = static_cast<std::uint8_t>((f.nr & 7) << 5);
  switch (f.kind) {
    case EKind::I:
      return static_cast<std::uint8_t>(nr | pf | ((f.ns & 7) << 1));
    case EKind::RR:
      return nr | pf | 0x01;
    case EKind::RNR:
      return nr | pf | 0x05;
    case EKind::REJ:
      return nr | pf | 0x09;
    case EKind::SREJ:
      return nr | pf | 0x0D;
    case EKind::SABM:
      return pf | 0x2F;
    case EKind::SABME:
      return pf | 0x6F;
    case EKind::DISC:
      return pf | 0x43;
    case EKind::DM:
      return pf | 0x0F;
    case EKind::UA:
      return pf | 0x63;
    case EKind::FRMR:
      return pf | 0x87;
    case EKind::UI:
      return pf | 0x03;
    case EKind::XID:
      return pf | 0xAF;
    case EKind::TEST:
      return pf | 0xE3;
    case EKind::Unknown:
      return f.control;
  }
  return f.control;
}

void DecodeControl(std::uint8_t c, SFrame& f) {
  f.control = c;
  f.pf = (c & 0x10) != 0;
  f.ns = 0;
  f.nr = 0;
  if ((c & 0x01) == 0) {
    f.kind = EKind::I;
    f.ns = (c >> 1) & 7;
    f.nr = (c >> 5) & 7;
    return;
  }
  if ((c & 0x03) == 0x01) {
    static constexpr EKind kS[] = {EKind::RR, EKind::RNR, EKind::REJ, EKind::SREJ};
    f.kind = kS[(c >> 2) & 3];
    f.nr = (c >> 5) & 7;
    return;
  }
  switch (c & ~0x10 & 0xFF) {
    case 0x2F:
      f.kind = EKind::SABM;
      break;
    case 0x6F:
      f.kind = EKind::SABME;
      break;
    case 0x43:
      f.kind = EKind::DISC;
      break;
    case 0x0F:
      f.kind = EKind::DM;
      break;
    case 0x63:
      f.kind = EKind::UA;
      break;
    case 0x87:
      f.kind = EKind::FRMR;
      break;
    case 0x03:
      f.kind = EKind::UI;
      break;
    case 0xAF:
      f.kind = EKind::XID;
      break;
    case 0xE3:
      f.kind = EKind::TEST;
      break;
    default:
      f.kind = EKind::Unknown;
      break;
  }
}

bool HasPid(EKind kind) { return kind == EKind::I || kind == EKind::UI; }

bool MayHaveInfo(EKind kind) {
  return kind == EKind::I || kind == EKind::UI || kind == EKind::FRMR || kind == EKind::XID || kind == EKind::TEST ||
         kind == EKind::Unknown;
}

std::string Encode(const SFrame& f) {
  std::string out;
  const std::size_t digis = f.digis.size() < kMaxDigis ? f.digis.size() : kMaxDigis;
  out.reserve((2 + digis) * kAddrLen + 2 + f.info.size());
  PutAddress(out, f.dest, false);
  PutAddress(out, f.src, digis == 0);
  for (std::size_t i = 0; i < digis; ++i) PutAddress(out, f.digis[i], i + 1 == digis);
  out.push_back(static_cast<char>(EncodeControl(f)));
  if (HasPid(f.kind)) out.push_back(static_cast<char>(f.pid));
  if (MayHaveInfo(f.kind)) out += f.info;
  return out;
}

const char* DecodeErrorText(EDecodeError error) {
  switch (error) {
    case EDecodeError::None:
      return "no error";
    case EDecodeError::TooShort:
      return "frame too short";
    case EDecodeError::NoAddressEnd:
      return "address field without end bit";
    case EDecodeError::TooManyDigis:
      return "more than 8 digipeaters";
    case EDecodeError::BadCallsign:
      return "not a callsign";
    case EDecodeError::InfoNotAllowed:
      return "information on a frame that takes none";
    case EDecodeError::TooLong:
      return "frame too long";
  }
  return "?";
}

namespace {

// The number of addresses up to the one that carries the end bit.
EDecodeError CountAddresses(std::string_view in, std::size_t& count) {
  count = 0;
  while (true) {
    const std::size_t at = count * kAddrLen + 6;
    if (at >= in.size()) return EDecodeError::NoAddressEnd;
    ++count;
    if (static_cast<std::uint8_t>(in[at]) & 1) break;
    if (count == 2 + kMaxDigis) return EDecodeError::TooManyDigis;
  }
  // Two addresses and the control byte at least.
  return count < 2 || count * kAddrLen >= in.size() ? EDecodeError::TooShort : EDecodeError::None;
}

EDecodeError DecodeInto(std::string_view in, SFrame& f) {
  if (in.size() > kMaxFrameBytes) return EDecodeError::TooLong;
  if (in.size() < 2 * kAddrLen + 1) return EDecodeError::TooShort;
  std::size_t count = 0;
  if (const EDecodeError e = CountAddresses(in, count); e != EDecodeError::None) return e;
  f.digis.resize(count - 2);
  for (std::size_t i = 0; i < count; ++i) {
    SAddress& a = i == 0 ? f.dest : i == 1 ? f.src : f.digis[i - 2];
    if (!GetAddress(in.substr(i * kAddrLen, kAddrLen), a)) return EDecodeError::BadCallsign;
  }
  std::size_t pos = count * kAddrLen;
  DecodeControl(static_cast<std::uint8_t>(in[pos++]), f);
  if (HasPid(f.kind)) {
    if (pos >= in.size()) return EDecodeError::TooShort;
    f.pid = static_cast<std::uint8_t>(in[pos++]);
  }
  if (pos < in.size()) {
    if (!MayHaveInfo(f.kind)) return EDecodeError::InfoNotAllowed;
    f.info.assign(in.substr(pos));
  }
  return EDecodeError::None;
}

}  // namespace

std::optional<SFrame> Decode(std::string_view in, EDecodeError* error) {
  SFrame f;
  const EDecodeError e = DecodeInto(in, f);
  if (error) *error = e;
  if (e != EDecodeError::None) return std::nullopt;
  return f;
}

std::string MonitorLine(const SFrame& f) {
  std::string line = f.src.ToString() + ">" + f.dest.ToString();
  // The '*' goes on the last digipeater that has repeated the frame.
  std::size_t lastRepeated = f.digis.size();
  for (std::size_t i = 0; i < f.digis.size(); ++i)
    if (f.digis[i].bit) lastRepeated = i;
  for (std::size_t i = 0; i < f.digis.size(); ++i) {
    line += "," + f.digis[i].ToString();
    if (i == lastRepeated) line += "*";
  }
  if (f.kind == EKind::UI) return line + ":" + f.info;
  std::string ctl = KindName(f.kind);
  if (f.kind == EKind::I) {
    ctl += " S" + std::to_string(f.ns) + " R" + std::to_string(f.nr);
  } else if (f.kind == EKind::RR || f.kind == EKind::RNR || f.kind == EKind::REJ || f.kind == EKind::SREJ) {
    ctl += std::to_string(f.nr);
  } else if (f.kind == EKind::Unknown) {
    static const char kHex[] = "0123456789ABCDEF";
    ctl += "0x";
    ctl += kHex[f.control >> 4];
    ctl += kHex[f.control & 15];
  }
  if (f.pf) ctl += f.IsCommand() ? " P" : " F";
  line += " <" + ctl + ">";
  if (f.kind == EKind::I && !f.info.empty()) line += ":" + f.info;
  return line;
}

}  // namespace nami::ax25
