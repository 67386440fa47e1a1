// Two links over a channel that loses, duplicates and delays frames: every
// byte arrives once and in order, or the link says it failed; the run always
// ends with both sides disconnected.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/LossyChannel.h"

namespace nami::ax25 {
namespace {

struct SLossCase {
  double loss;
  double duplicate;
  int maxFrame;
  int pacLen;
  std::size_t bytes;
};

std::string Pattern(std::size_t n, std::uint32_t start) {
  std::mt19937 rng(start);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

class LossyLink : public ::testing::TestWithParam<SLossCase> {};

TEST_P(LossyLink, DeliversEveryByteOnceInOrderOrFails) {
  const SLossCase c = GetParam();
  for (std::uint32_t start = 1; start <= 6; ++start) {
    SCOPED_TRACE("random start " + std::to_string(start));
    test::SChannelOptions channel;
    channel.loss = c.loss;
    channel.duplicate = c.duplicate;
    channel.randomStart = start;
    SLinkParams params;
    params.maxFrame = c.maxFrame;
    params.pacLen = c.pacLen;
    params.frackMs = 2000;
    params.t2Ms = 150;
    params.t3Ms = 30000;
    params.bitsPerSecond = channel.bitsPerSecond;
    test::CLossyPair pair(channel, params);
    auto& a = pair.A();
    auto& b = pair.B();

    // Connect (retrying as a user would while the connect fails).
    for (int attempt = 0; attempt < 5 && !a.IsUp(); ++attempt) {
      ASSERT_TRUE(a.Connect(b.MyCall()));
      ASSERT_TRUE(pair.RunUntil([&] { return a.State() != ELinkState::AwaitingConnection; },
                                pair.Clock().MonotonicMs() + 600000));
    }
    if (!a.IsUp()) {
      EXPECT_GT(pair.EndA().retry, 0);
      continue;
    }
    ASSERT_TRUE(pair.RunUntil([&] { return b.IsUp() || !a.IsUp(); }, pair.Clock().MonotonicMs() + 600000));

    const std::string data = Pattern(c.bytes, start);
    // Both directions at once, in pieces as a terminal sends them.
    std::size_t put = 0;
    while (put < data.size() && a.IsUp()) {
      const std::size_t n = std::min<std::size_t>(1000, data.size() - put);
      ASSERT_TRUE(a.Send(std::string_view(data).substr(put, n)));
      if (b.IsUp()) b.Send(std::string_view(data).substr(put, n / 4));
      put += n;
      pair.RunUntil([&] { return a.Outstanding() < 2000 || !a.IsUp(); }, pair.Clock().MonotonicMs() + 3600000);
    }
    a.Disconnect();
    // Never a hang: both ends come to rest within an hour of channel time.
    ASSERT_TRUE(pair.RunUntil(
        [&] {
          return a.State() == ELinkState::Disconnected && b.State() == ELinkState::Disconnected && !pair.InFlight();
        },
        pair.Clock().MonotonicMs() + 3600000))
        << "a " << LinkStateName(a.State()) << ", b " << LinkStateName(b.State());

    const std::string& got = pair.EndB().received;
    const bool failed = pair.EndA().Failed() || pair.EndB().Failed();
    if (!failed) {
      EXPECT_EQ(got.size(), data.size());
      EXPECT_TRUE(got == data) << "the bytes differ";
    } else {
      ASSERT_LE(got.size(), data.size());
      EXPECT_TRUE(data.compare(0, got.size(), got) == 0) << "a failed link delivered bytes out of order";
    }
    // The reverse direction: a prefix of what B sent, never more.
    const std::string& back = pair.EndA().received;
    EXPECT_LE(back.size(), data.size());
    if (c.loss <= 0.10) {
      EXPECT_FALSE(failed) << "the link gave up at " << c.loss * 100 << " % loss";
    }
    if (c.loss == 0 && c.duplicate == 0) {
      EXPECT_FALSE(failed);
      EXPECT_EQ(a.Stats().iResent, 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Channels, LossyLink,
                         ::testing::Values(SLossCase{0.0, 0.0, 4, 128, 20000}, SLossCase{0.05, 0.0, 7, 256, 20000},
                                           SLossCase{0.10, 0.0, 4, 128, 20000}, SLossCase{0.10, 0.05, 2, 64, 8000},
                                           SLossCase{0.20, 0.02, 4, 128, 10000}, SLossCase{0.30, 0.0, 1, 128, 5000},
                                           SLossCase{0.30, 0.10, 7, 200, 5000}));

}  // namespace
}  // namespace nami::ax25
