// Sends a file over nami's own AX.25 link on a KISS TNC, the way the AGW
// baseline client (tests/support/direwolf/agwclient.py send) does over
// Dire Wolf's connected mode: connect, hand the whole file to the link,
// wait until every frame is acknowledged, optionally stay connected and idle
// for a while, disconnect. Prints what the baseline prints:
//
//   CONNECT_S=1.83 TRANSFER_S=57.2 BYTES=5000 BYTES_PER_S=87.4 CPU_PCT=0.4 IDLE_CPU_PCT=0.0
//
//   nami-kisssend --kiss HOST:PORT --mycall CALL --to CALL [--paclen 128] [--maxframe 4]
//                 [--txdelay 30] [--hold SECONDS] FILE
//
// CPU_PCT is this process's CPU time over the wall time of the transfer;
// IDLE_CPU_PCT the same while the link is held connected and idle.
#include <poll.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "time/Clock.h"
#include "link/KissFarSide.h"
#include "link/TncParams.h"

namespace {

using namespace nami;

struct SEvents final : IFarSideEvents {
  bool connected = false, down = false;
  std::string why;
  void OnConnected(std::int64_t, const std::string&) override { connected = true; }
  void OnDisconnected(std::int64_t) override { down = true; }
  void OnBusy(std::int64_t, const std::string& call) override { Fail(call + " busy"); }
  void OnRetryExceeded(std::int64_t) override { Fail("retry count exceeded"); }
  void OnData(std::int64_t, std::string_view) override {}
  void OnMonitor(std::int64_t, const std::string&) override {}
  void OnFailure(std::int64_t, const std::string& reason) override { Fail(reason); }
  void Fail(const std::string& w) {
    down = true;
    why = w;
  }
};

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

int Usage() {
  std::fprintf(stderr,
               "usage: nami-kisssend --kiss HOST:PORT --mycall CALL --to CALL [--paclen N] [--maxframe N]\n"
               "                     [--txdelay N] [--hold SECONDS] FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kiss, myCall, to, file;
  std::string paclen = "128", maxframe = "4", txdelay = "30";
  double hold = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--kiss")
      kiss = next();
    else if (a == "--mycall")
      myCall = next();
    else if (a == "--to")
      to = next();
    else if (a == "--paclen")
      paclen = next();
    else if (a == "--maxframe")
      maxframe = next();
    else if (a == "--txdelay")
      txdelay = next();
    else if (a == "--hold")
      hold = std::atof(next().c_str());
    else if (!a.empty() && a[0] != '-')
      file = a;
    else
      return Usage();
  }
  if (kiss.empty() || myCall.empty() || to.empty() || file.empty()) return Usage();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "nami-kisssend: cannot read %s\n", file.c_str());
    return 1;
  }
  std::stringstream buf;
  buf << in.rdbuf();
  const std::string data = buf.str();

  std::string error;
  const auto ep = ParseKissDevice("kiss://" + kiss, &error);
  if (!ep) {
    std::fprintf(stderr, "nami-kisssend: %s\n", error.c_str());
    return 2;
  }
  CSystemClock clock;
  CKissFarSide far(clock, *ep, MakeTcpStream(ep->host, ep->port, ep->ToString()));
  SEvents ev;
  far.SetEvents(&ev);
  if (!far.SetMyCall(myCall)) {
    std::fprintf(stderr, "nami-kisssend: bad MYCALL %s\n", myCall.c_str());
    return 2;
  }
  for (const auto& [param, text] : {std::pair<ETncParam, std::string>{ETncParam::PacLen, paclen},
                                    {ETncParam::MaxFrame, maxframe},
                                    {ETncParam::TxDelay, txdelay}}) {
    const std::optional<int> value = ParseTncValue(param, text);
    if (!value || !far.SetParameter(param, *value)) {
      std::fprintf(stderr, "nami-kisssend: bad %s %s\n", std::string(TncParam(param).name).c_str(), text.c_str());
      return 2;
    }
  }
  far.Reset();

  auto step = [&](int timeoutMs) {
    pollfd p{far.PollFd(), POLLIN, 0};
    const std::int64_t next = far.NextEventMs();
    int wait = timeoutMs;
    if (next >= 0)
      wait = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(wait, next - clock.MonotonicMs())));
    ::poll(&p, p.fd >= 0 ? 1 : 0, wait);
    far.Poll(clock.MonotonicMs());
  };

  const std::int64_t t0 = clock.MonotonicMs();
  far.Connect(to, {});
  while (!ev.connected && !ev.down) step(1000);
  if (!ev.connected) {
    std::fprintf(stderr, "nami-kisssend: %s\n", ev.why.empty() ? "not connected" : ev.why.c_str());
    return 1;
  }
  const std::int64_t t1 = clock.MonotonicMs();
  const double cpu1 = CpuSeconds();
  far.SendData(data);
  while (far.OutstandingBytes() > 0 && !ev.down) step(1000);
  const std::int64_t t2 = clock.MonotonicMs();
  const double cpu2 = CpuSeconds();
  if (ev.down) {
    std::fprintf(stderr, "nami-kisssend: link lost: %s\n", ev.why.c_str());
    return 1;
  }
  double idlePct = 0;
  if (hold > 0) {
    const std::int64_t end = clock.MonotonicMs() + static_cast<std::int64_t>(hold * 1000);
    const double c0 = CpuSeconds();
    while (clock.MonotonicMs() < end && !ev.down) step(static_cast<int>(end - clock.MonotonicMs()));
    idlePct = (CpuSeconds() - c0) / hold * 100;
  }
  far.Disconnect();
  const std::int64_t t3 = clock.MonotonicMs();
  while (!ev.down && clock.MonotonicMs() - t3 < 60000) step(1000);
  const double transfer = static_cast<double>(t2 - t1) / 1000;
  std::printf("CONNECT_S=%.2f TRANSFER_S=%.2f BYTES=%zu BYTES_PER_S=%.1f CPU_PCT=%.2f IDLE_CPU_PCT=%.2f\n",
              static_cast<double>(t1 - t0) / 1000, transfer, data.size(),
              transfer > 0 ? static_cast<double>(data.size()) / transfer : 0, (cpu2 - cpu1) / transfer * 100, idlePct);
  std::fprintf(stderr, "I frames %llu, resent %llu, polls %llu\n",
               static_cast<unsigned long long>(far.Link().Stats().iSent),
               static_cast<unsigned long long>(far.Link().Stats().iResent),
               static_cast<unsigned long long>(far.Link().Stats().polls));
  return 0;
}
