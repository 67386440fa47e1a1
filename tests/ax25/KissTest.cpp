#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ax25/Kiss.h"

namespace nami::ax25 {
namespace {

using namespace std::string_literals;

TEST(Kiss, WrapEscapesFendAndFescAndSetsThePortNibble) {
  EXPECT_EQ(KissWrap("a\xC0"
                     "b\xDB"
                     "c"s,
                     0),
            "\xC0\x00"
            "a\xDB\xDC"
            "b\xDB\xDD"
            "c\xC0"s);
  EXPECT_EQ(KissWrap("x", 3), "\xC0\x30x\xC0"s);
  EXPECT_EQ(KissParameter(EKissCommand::TxDelay, 30), "\xC0\x01\x1E\xC0"s);
  EXPECT_EQ(KissParameter(EKissCommand::Persist, 63, 1), "\xC0\x12\x3F\xC0"s);
  EXPECT_EQ(KissParameter(EKissCommand::SlotTime, 10), "\xC0\x03\x0A\xC0"s);
  EXPECT_EQ(KissParameter(EKissCommand::FullDuplex, 1), "\xC0\x05\x01\xC0"s);
  // An escaped value byte.
  EXPECT_EQ(KissParameter(EKissCommand::TxDelay, 0xC0), "\xC0\x01\xDB\xDC\xC0"s);
}

TEST(Kiss, DeframerRestoresFramesInAnyChunking) {
  std::mt19937 rng(7);
  std::vector<std::string> sent;
  std::string stream = "noise before the first FEND";
  for (int i = 0; i < 200; ++i) {
    std::string payload(1 + rng() % 300, '\0');
    for (auto& c : payload) c = static_cast<char>(rng() % 4 == 0 ? (rng() % 2 ? 0xC0 : 0xDB) : rng());
    sent.push_back(payload);
    stream += KissWrap(payload);
    if (i % 3 == 0) stream += "\xC0\xC0"s;  // empty frames between are nothing
  }
  for (std::size_t chunk : {1u, 2u, 7u, 100u, 100000u}) {
    CKissDeframer d;
    std::vector<std::string> got;
    for (std::size_t p = 0; p < stream.size(); p += chunk) d.Feed(std::string_view(stream).substr(p, chunk), got);
    EXPECT_EQ(got, sent) << "chunk " << chunk;
    EXPECT_EQ(d.Counts().frames, sent.size());
    EXPECT_EQ(d.Counts().dropped(), 0u);
  }
}

TEST(Kiss, BadInputIsDroppedAndCounted) {
  const std::string good = KissWrap("good frame");
  const struct {
    const char* what;
    std::string stream;
    std::size_t badEscape, oversize, otherPort, cutOff;
  } cases[] = {
      {"bad escape",
       "\xC0\x00"
       "ab\xDB"
       "xcd\xC0"s +
           good,
       1, 0, 0, 0},
      {"100 kB frame", "\xC0\x00"s + std::string(100000, 'x') + "\xC0"s + good, 0, 1, 0, 0},
      {"another port", KissWrap("other", 2) + good, 0, 0, 1, 0},
      {"a parameter frame", KissParameter(EKissCommand::TxDelay, 5) + good, 0, 0, 1, 0},
      {"cut off", good + "\xC0\x00half a fra"s, 0, 0, 0, 1},
      {"cut off in an escape",
       good + "\xC0\x00"
              "ab\xDB"s,
       0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    CKissDeframer d(0, 4096);
    std::vector<std::string> got;
    d.Feed(c.stream, got);
    d.EndOfStream();
    ASSERT_EQ(got.size(), 1u) << c.what;
    EXPECT_EQ(got[0], "good frame") << c.what;
    EXPECT_EQ(d.Counts().badEscape, c.badEscape) << c.what;
    EXPECT_EQ(d.Counts().oversize, c.oversize) << c.what;
    EXPECT_EQ(d.Counts().otherPort, c.otherPort) << c.what;
    EXPECT_EQ(d.Counts().cutOff, c.cutOff) << c.what;
    // The deframer carries on after each: a new stream's frame comes through.
    d.Feed(good, got);
    EXPECT_EQ(got.size(), 2u) << c.what;
  }
}

TEST(Kiss, TheChannelNibbleSelectsThePort) {
  CKissDeframer d(5);
  std::vector<std::string> got;
  d.Feed(KissWrap("zero", 0) + KissWrap("five", 5), got);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "five");
}

}  // namespace
}  // namespace nami::ax25
