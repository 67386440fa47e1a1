// nami's AX.25 data link on the simulated lossy channel (1200 bit/s, PACLEN
// 128, MAXFRAME 4, FRACK 3 s): a 20 kB transfer at 0, 10, 20 and 30 % frame
// loss, over ten random starts each. Reported as counters, in channel time:
//   goodput_bps      delivered bits per second of channel time
//   share_of_lossless goodput as a share of the lossless run
//   resent_per_frame I frames sent again per I frame delivered
//   failed           runs that ended with the link giving up
// The wall time is what the simulation costs (the link's CPU per transfer).
#include <benchmark/benchmark.h>

#include <string>

#include "support/LossyChannel.h"

namespace nami {
namespace {

struct SResult {
  double seconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t resent = 0;
  std::uint64_t delivered = 0;
  int failed = 0;
};

SResult Transfer(double loss, std::uint32_t start) {
  test::SChannelOptions channel;
  channel.loss = loss;
  channel.bitsPerSecond = 1200;
  channel.jitterMs = 100;
  channel.randomStart = start;
  ax25::SLinkParams params;
  params.maxFrame = 4;
  params.pacLen = 128;
  params.frackMs = 3000;
  params.retries = 10;
  params.bitsPerSecond = 1200;
  params.t2Ms = (128 + 40) * 8 * 1000 / 1200 + 300;  // a little over one frame's airtime
  test::CLossyPair pair(channel, params);
  SResult r;
  auto& a = pair.A();
  auto& b = pair.B();
  a.Connect(b.MyCall());
  pair.RunUntil([&] { return a.State() != ax25::ELinkState::AwaitingConnection; }, 3600000);
  if (!a.IsUp()) {
    r.failed = 1;
    return r;
  }
  const std::int64_t t0 = pair.Clock().MonotonicMs();
  const std::string data(20000, 'x');
  a.Send(data);
  pair.RunUntil([&] { return a.Outstanding() == 0 || !a.IsUp(); }, t0 + 36000000);
  r.seconds = static_cast<double>(pair.Clock().MonotonicMs() - t0) / 1000.0;
  r.bytes = pair.EndB().received.size();
  r.resent = a.Stats().iResent;
  r.delivered = b.Stats().iReceived;
  r.failed = pair.EndA().Failed() || r.bytes != data.size() ? 1 : 0;
  return r;
}

SResult Runs(double loss) {
  SResult total;
  for (std::uint32_t start = 1; start <= 10; ++start) {
    const SResult r = Transfer(loss, start);
    total.seconds += r.seconds;
    total.bytes += r.bytes;
    total.resent += r.resent;
    total.delivered += r.delivered;
    total.failed += r.failed;
  }
  return total;
}

void BM_Ax25LossyTransfer(benchmark::State& state) {
  const double loss = static_cast<double>(state.range(0)) / 100.0;
  static const SResult lossless = Runs(0.0);
  SResult r;
  for (auto _ : state) {
    r = Runs(loss);
    benchmark::ClobberMemory();
  }
  const double goodput = r.seconds > 0 ? static_cast<double>(r.bytes) * 8 / r.seconds : 0;
  const double base = static_cast<double>(lossless.bytes) * 8 / lossless.seconds;
  state.counters["goodput_bps"] = goodput;
  state.counters["share_of_lossless"] = goodput / base;
  state.counters["resent_per_frame"] =
      r.delivered ? static_cast<double>(r.resent) / static_cast<double>(r.delivered) : 0;
  state.counters["failed"] = r.failed;
}
BENCHMARK(BM_Ax25LossyTransfer)->Arg(0)->Arg(10)->Arg(20)->Arg(30)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nami
