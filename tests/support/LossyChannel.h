// Two AX.25 data links joined by a simulated radio channel that loses,
// duplicates and delays frames, driven by a manual clock. Frames cross as
// bytes (encoded and decoded again). Each direction keeps its order, as a
// radio channel does; a frame's delay is its transmission time at the
// channel's rate plus a random extra.
#pragma once

#include <cstdint>
#include <deque>
#include <random>
#include <string>

#include "ax25/DataLink.h"
#include "ax25/Frame.h"
#include "time/Clock.h"

namespace nami::test {

struct SChannelOptions {
  double loss = 0.0;         // chance that a frame is lost
  double duplicate = 0.0;    // chance that a frame arrives twice
  int baseDelayMs = 20;      // fixed latency on top of the transmission time
  int jitterMs = 100;        // random extra delay, 0..jitterMs
  int bitsPerSecond = 9600;  // channel rate
  std::uint32_t randomStart = 1;
};

class CLossyPair {
 public:
  struct SEnd final : ax25::IDataLinkEvents {
    CLossyPair* pair = nullptr;
    int side = 0;
    std::string received;
    int connected = 0, disconnected = 0, busy = 0, retry = 0, failure = 0;
    void Transmit(const ax25::SFrame& f) override { pair->Put(side, f); }
    void OnConnected(const ax25::SAddress&, bool) override { ++connected; }
    void OnDisconnected() override { ++disconnected; }
    void OnBusy(const ax25::SAddress&) override { ++busy; }
    void OnRetryExceeded() override { ++retry; }
    void OnFailure(const std::string&) override { ++failure; }
    void OnData(std::string_view bytes) override { received.append(bytes); }
    bool Failed() const { return busy + retry + failure > 0; }
  };

  CLossyPair(SChannelOptions channel, ax25::SLinkParams params)
      : options_(channel), rng_(channel.randomStart), a_(clock_, endA_, params), b_(clock_, endB_, params) {
    endA_.pair = endB_.pair = this;
    endA_.side = 0;
    endB_.side = 1;
    a_.SetMyCall(*ax25::SAddress::Parse("JA1AAA"));
    b_.SetMyCall(*ax25::SAddress::Parse("JA1BBB-2"));
  }

  ax25::CDataLink& A() { return a_; }
  ax25::CDataLink& B() { return b_; }
  SEnd& EndA() { return endA_; }
  SEnd& EndB() { return endB_; }
  CManualClock& Clock() { return clock_; }
  std::uint64_t FramesSent() const { return framesSent_; }
  std::uint64_t FramesLost() const { return framesLost_; }
  bool InFlight() const { return !queue_[0].empty() || !queue_[1].empty(); }

  // Runs until `done` holds or the simulated time passes `limitMs`; false on
  // the time limit. Each step jumps to the next frame arrival or timer.
  template <class Done>
  bool RunUntil(Done done, std::int64_t limitMs) {
    while (!done()) {
      std::int64_t next = -1;
      auto consider = [&next](std::int64_t t) {
        if (t >= 0 && (next < 0 || t < next)) next = t;
      };
      for (const auto& q : queue_)
        if (!q.empty()) consider(q.front().at);
      consider(a_.NextTimerMs());
      consider(b_.NextTimerMs());
      if (next < 0 || next > limitMs) return false;
      if (next > clock_.MonotonicMs()) clock_.AdvanceMs(next - clock_.MonotonicMs());
      for (int side = 0; side < 2; ++side) {
        auto& q = queue_[side];
        while (!q.empty() && q.front().at <= clock_.MonotonicMs()) {
          const std::string bytes = std::move(q.front().bytes);
          q.pop_front();
          if (auto f = ax25::Decode(bytes)) (side == 0 ? b_ : a_).Receive(*f);
        }
      }
      a_.Tick();
      b_.Tick();
    }
    return true;
  }

 private:
  struct SInFlight {
    std::int64_t at;
    std::string bytes;
  };

  void Put(int side, const ax25::SFrame& f) {
    ++framesSent_;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    if (u(rng_) < options_.loss) {
      ++framesLost_;
      return;
    }
    std::string bytes = ax25::Encode(f);
    const std::int64_t airtime = static_cast<std::int64_t>((bytes.size() + 20) * 8 * 1000 / options_.bitsPerSecond);
    auto& q = queue_[side];
    const std::int64_t jitter = options_.jitterMs > 0 ? static_cast<std::int64_t>(rng_() % (options_.jitterMs + 1)) : 0;
    std::int64_t at = clock_.MonotonicMs() + options_.baseDelayMs + airtime + jitter;
    if (!q.empty()) at = std::max(at, q.back().at + airtime);
    const bool twice = u(rng_) < options_.duplicate;
    q.push_back({at, bytes});
    if (twice) q.push_back({at + airtime, std::move(bytes)});
  }

  SChannelOptions options_;
  std::mt19937 rng_;
  CManualClock clock_;
  SEnd endA_, endB_;
  ax25::CDataLink a_, b_;
  std::deque<SInFlight> queue_[2];
  std::uint64_t framesSent_ = 0, framesLost_ = 0;
};

}  // namespace nami::test
