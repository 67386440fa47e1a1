// AX.25 v2.0 frames: addresses, control fields, encoding and decoding, and
// the monitor line a TNC2 prints for a heard frame. No Qt, no I/O.
//
// On the wire (without flags and FCS, as KISS carries it):
//   destination (7) source (7) [digipeater (7)] x 0..8  control (1) [PID (1)] [info]
// An address is six characters shifted left by one bit, then the SSID byte
// CRRSSIDE: C is the command/response bit (destination, source) or the
// has-been-repeated bit (digipeater), RR are reserved (sent as 1), E marks
// the last address. A command has C=1 in the destination and C=0 in the
// source; a response the opposite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nami::ax25 {

inline constexpr std::size_t kMaxDigis = 8;
inline constexpr std::uint8_t kPidNoLayer3 = 0xF0;

struct SAddress {
  std::string call;  // 1..6 characters, A-Z and 0-9
  int ssid = 0;      // 0..15
  bool bit = false;  // C bit (destination, source) or H bit (digipeater)

  // "JA1ABC" or "JA1ABC-7".
  std::string ToString() const;
  // Parses "JA1ABC" / "ja1abc-7"; nullopt when not a valid call.
  static std::optional<SAddress> Parse(std::string_view text);
  bool SameStation(const SAddress& other) const { return call == other.call && ssid == other.ssid; }
};

enum class EKind : std::uint8_t {
  I,
  RR,
  RNR,
  REJ,
  SREJ,
  SABM,
  SABME,
  DISC,
  DM,
  UA,
  FRMR,
  UI,
  XID,
  TEST,
  Unknown,  // a control byte of no kind above (kept so the link can reject it)
};

const char* KindName(EKind kind);

struct SFrame {
  SAddress dest;
  SAddress src;
  std::vector<SAddress> digis;
  EKind kind = EKind::UI;
  int ns = 0;                       // I frames
  int nr = 0;                       // I and S frames
  bool pf = false;                  // poll (command) or final (response)
  std::uint8_t control = 0;         // the raw control byte (set by Decode; Encode builds its own)
  std::uint8_t pid = kPidNoLayer3;  // I and UI frames
  std::string info;

  // Command: destination C=1, source C=0. Response: the opposite. Frames of
  // AX.25 v1 (both bits equal) count as commands.
  bool IsCommand() const { return dest.bit || !src.bit; }
  void SetCommand(bool command) {
    dest.bit = command;
    src.bit = !command;
  }
  // Every digipeater of the path has repeated the frame (or there is none).
  bool FullyRepeated() const { return digis.empty() || digis.back().bit; }
};

// The control byte of a frame (modulo 8).
std::uint8_t EncodeControl(const SFrame& frame);
// Fills kind, ns, nr, pf from a control byte.
void DecodeControl(std::uint8_t control, SFrame& frame);
// Whether a frame of this kind carries a PID byte / may carry information.
bool HasPid(EKind kind);
bool MayHaveInfo(EKind kind);

// The frame as bytes (no FCS). Calls longer than six characters are cut.
std::string Encode(const SFrame& frame);

enum class EDecodeError : std::uint8_t {
  None,
  TooShort,        // fewer than two addresses and a control byte
  NoAddressEnd,    // no address has the end bit within ten addresses
  TooManyDigis,    // the end bit comes after more than 8 digipeaters
  BadCallsign,     // characters other than A-Z 0-9, or a space inside
  InfoNotAllowed,  // information on a frame kind that takes none
  TooLong,         // longer than kMaxFrameBytes
};
const char* DecodeErrorText(EDecodeError error);

// The longest frame accepted: 10 addresses, control, PID and 2048 bytes of
// information (KISS TNCs take far less; anything longer is not AX.25).
inline constexpr std::size_t kMaxFrameBytes = 70 + 2 + 2048;

std::optional<SFrame> Decode(std::string_view bytes, EDecodeError* error = nullptr);

// The frame as a TNC2 shows it in monitor mode, without a line end:
//   JA1ABC>BEACON: text                       (UI)
//   JA1ABC>JA1XYZ,JA1DIG*,JA2DIG <I S2 R5>: text
//   JA1ABC>JA1XYZ <SABM P>
// The digipeater that repeated it last carries the '*'. Information text is
// passed through as received (CP932), with CR turned into line breaks by the
// caller.
std::string MonitorLine(const SFrame& frame);

}  // namespace nami::ax25
