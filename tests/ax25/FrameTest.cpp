// AX.25 frame encoding and decoding, checked against bytes worked out by
// hand from the protocol's address and control layouts.
#include <gtest/gtest.h>

#include <string>

#include "ax25/Frame.h"

namespace nami::ax25 {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string Unhex(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i + 1 >= text.size()) break;
    out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

SAddress A(const char* text) { return *SAddress::Parse(text); }

// JA1XYZ as destination and JA1ABC as source, each 6 shifted characters.
const std::string kDest = "94 82 62 b0 b2 b4";
const std::string kSrc = "94 82 62 82 84 86";

struct SControlCase {
  EKind kind;
  bool command;
  bool pf;
  int ns, nr;
  std::string tail;  // destination SSID, source SSID, control, [pid], as hex
};

TEST(Frame, EveryKindEncodesItsAddressAndControlBytes) {
  const SControlCase cases[] = {
      // kind       cmd   P/F   ns nr  dest-ssid src-ssid control pid
      {EKind::SABM, true, true, 0, 0, "e0 61 3f"},   {EKind::UA, false, true, 0, 0, "60 e1 73"},
      {EKind::DISC, true, true, 0, 0, "e0 61 53"},   {EKind::DM, false, true, 0, 0, "60 e1 1f"},
      {EKind::DM, false, false, 0, 0, "60 e1 0f"},   {EKind::RR, true, true, 0, 3, "e0 61 71"},
      {EKind::RR, false, false, 0, 7, "60 e1 e1"},   {EKind::RNR, false, false, 0, 5, "60 e1 a5"},
      {EKind::REJ, false, true, 0, 2, "60 e1 59"},   {EKind::I, true, false, 2, 5, "e0 61 a4 f0"},
      {EKind::I, true, true, 7, 0, "e0 61 1e f0"},   {EKind::UI, true, false, 0, 0, "e0 61 03 f0"},
      {EKind::FRMR, false, false, 0, 0, "60 e1 87"}, {EKind::SABME, true, true, 0, 0, "e0 61 7f"},
      {EKind::XID, true, true, 0, 0, "e0 61 bf"},    {EKind::TEST, true, true, 0, 0, "e0 61 f3"},
  };
  for (const auto& c : cases) {
    SFrame f;
    f.dest = A("JA1XYZ");
    f.src = A("JA1ABC");
    f.kind = c.kind;
    f.SetCommand(c.command);
    f.pf = c.pf;
    f.ns = c.ns;
    f.nr = c.nr;
    const std::string tail = c.tail;
    const std::string expected = kDest + " " + tail.substr(0, 2) + " " + kSrc + " " + tail.substr(3);
    EXPECT_EQ(Hex(Encode(f)), expected) << KindName(c.kind);
    const auto back = Decode(Encode(f));
    ASSERT_TRUE(back) << KindName(c.kind);
    EXPECT_EQ(back->kind, c.kind);
    EXPECT_EQ(back->IsCommand(), c.command) << KindName(c.kind);
    EXPECT_EQ(back->pf, c.pf) << KindName(c.kind);
    if (c.kind == EKind::I) {
      EXPECT_EQ(back->ns, c.ns);
    }
    if (c.kind == EKind::I || c.kind == EKind::RR || c.kind == EKind::RNR || c.kind == EKind::REJ) {
      EXPECT_EQ(back->nr, c.nr) << KindName(c.kind);
    }
  }
}

TEST(Frame, DigipeatersCarrySsidAndRepeatedBits) {
  SFrame f;
  f.dest = A("BEACON");
  f.src = A("JA1ABC-15");
  f.digis = {A("JA1DIG-1"), A("RELAY"), A("WIDE2-2")};
  f.digis[0].bit = true;
  f.info = "hello";
  const std::string bytes = Encode(f);
  ASSERT_EQ(bytes.size(), 5 * 7 + 2 + 5u);
  // JA1ABC-15, command source: 0x60 | 15 << 1 = 0x7e, not the last address.
  EXPECT_EQ(static_cast<unsigned char>(bytes[13]), 0x7e);
  // JA1DIG-1 repeated: 0x80 | 0x60 | 1 << 1 = 0xe2; WIDE2-2 last: 0x60 | 4 | 1 = 0x65.
  EXPECT_EQ(static_cast<unsigned char>(bytes[20]), 0xe2);
  EXPECT_EQ(static_cast<unsigned char>(bytes[34]), 0x65);
  const auto back = Decode(bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->digis.size(), 3u);
  EXPECT_EQ(back->src.ToString(), "JA1ABC-15");
  EXPECT_EQ(back->digis[0].ToString(), "JA1DIG-1");
  EXPECT_TRUE(back->digis[0].bit);
  EXPECT_FALSE(back->digis[1].bit);
  EXPECT_FALSE(back->FullyRepeated());
  EXPECT_EQ(back->info, "hello");
  EXPECT_EQ(MonitorLine(*back), "JA1ABC-15>BEACON,JA1DIG-1*,RELAY,WIDE2-2:hello");
}

TEST(Frame, EightDigipeatersAreTheLimit) {
  SFrame f;
  f.dest = A("JA1XYZ");
  f.src = A("JA1ABC");
  for (int i = 0; i < 8; ++i) f.digis.push_back(A(("DIGI" + std::to_string(i)).c_str()));
  auto back = Decode(Encode(f));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->digis.size(), 8u);
  // A ninth address without the end bit, spliced in by hand, is refused.
  std::string bytes = Encode(f);
  std::string extra = bytes.substr(14, 7);
  extra[6] = static_cast<char>(extra[6] & ~1);
  bytes.insert(14, extra);
  EDecodeError err;
  EXPECT_FALSE(Decode(bytes, &err));
  EXPECT_EQ(err, EDecodeError::TooManyDigis);
}

TEST(Frame, BadFramesAreRefusedWithTheirReason) {
  SFrame ok;
  ok.dest = A("JA1XYZ");
  ok.src = A("JA1ABC");
  ok.kind = EKind::RR;
  const std::string rr = Encode(ok);
  std::string noEnd = rr;
  noEnd[13] = static_cast<char>(noEnd[13] & ~1);
  std::string lower = rr;
  lower[0] = static_cast<char>('j' << 1);
  std::string inner = rr;
  inner[1] = static_cast<char>(' ' << 1);
  std::string onlyOne = rr.substr(0, 7);
  onlyOne[6] = static_cast<char>(onlyOne[6] | 1);
  onlyOne += std::string(8, '\x03');
  const struct {
    std::string bytes;
    EDecodeError error;
  } cases[] = {
      {"", EDecodeError::TooShort},
      {rr.substr(0, 14), EDecodeError::TooShort},
      {Unhex("94 82 62 b0 b2 b4 e0 94 82 62 82 84 86 61 00"), EDecodeError::TooShort},  // I frame without PID
      {noEnd, EDecodeError::NoAddressEnd},
      {lower, EDecodeError::BadCallsign},
      {inner, EDecodeError::BadCallsign},
      {onlyOne, EDecodeError::TooShort},
      {rr + "text", EDecodeError::InfoNotAllowed},
      {rr + std::string(100000, 'x'), EDecodeError::TooLong},
  };
  for (const auto& c : cases) {
    EDecodeError err = EDecodeError::None;
    EXPECT_FALSE(Decode(c.bytes, &err)) << Hex(c.bytes.substr(0, 20));
    EXPECT_EQ(err, c.error) << Hex(c.bytes.substr(0, 20)) << ": " << DecodeErrorText(err);
  }
}

TEST(Frame, UnknownControlFieldsDecodeAsUnknown) {
  for (int c : {0x0B, 0x27, 0x47, 0x8F, 0xCF}) {
    std::string bytes = Unhex(kDest + " e0 " + kSrc + " 61");
    bytes.push_back(static_cast<char>(c));
    const auto f = Decode(bytes);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, EKind::Unknown) << c;
    EXPECT_EQ(f->control, c);
    EXPECT_EQ(Encode(*f), bytes);
  }
}

TEST(Frame, MonitorLinesAsATnc2PrintsThem) {
  auto make = [](EKind kind, bool command, bool pf, int ns, int nr, std::string info) {
    SFrame f;
    f.dest = A("JA1XYZ");
    f.src = A("JA1ABC-1");
    f.kind = kind;
    f.SetCommand(command);
    f.pf = pf;
    f.ns = ns;
    f.nr = nr;
    f.info = std::move(info);
    return f;
  };
  const struct {
    SFrame frame;
    const char* line;
  } cases[] = {
      {make(EKind::SABM, true, true, 0, 0, ""), "JA1ABC-1>JA1XYZ <SABM P>"},
      {make(EKind::UA, false, true, 0, 0, ""), "JA1ABC-1>JA1XYZ <UA F>"},
      {make(EKind::I, true, false, 3, 6, "Hello"), "JA1ABC-1>JA1XYZ <I S3 R6>:Hello"},
      {make(EKind::RR, false, false, 0, 4, ""), "JA1ABC-1>JA1XYZ <RR4>"},
      {make(EKind::REJ, false, true, 0, 2, ""), "JA1ABC-1>JA1XYZ <REJ2 F>"},
      {make(EKind::UI, true, false, 0, 0, "beacon"), "JA1ABC-1>JA1XYZ:beacon"},
      {make(EKind::DISC, true, true, 0, 0, ""), "JA1ABC-1>JA1XYZ <DISC P>"},
  };
  for (const auto& c : cases) EXPECT_EQ(MonitorLine(c.frame), c.line);
}

TEST(Frame, CallsignsParse) {
  const struct {
    const char* text;
    const char* parsed;  // nullptr: refused
  } cases[] = {
      {"JA1ABC", "JA1ABC"}, {"ja1abc-7", "JA1ABC-7"}, {"N0CALL-15", "N0CALL-15"}, {"JA1ABC-0", "JA1ABC"},
      {"JA1ABCD", nullptr}, {"JA1ABC-16", nullptr},   {"JA1-", nullptr},          {"", nullptr},
      {"JA 1", nullptr},    {"JA1ABC-1x", nullptr},
  };
  for (const auto& c : cases) {
    const auto a = SAddress::Parse(c.text);
    if (c.parsed) {
      ASSERT_TRUE(a) << c.text;
      EXPECT_EQ(a->ToString(), c.parsed);
    } else {
      EXPECT_FALSE(a) << c.text;
    }
  }
}

}  // namespace
}  // namespace nami::ax25
