// A document on the simulated TNC and BBS, driven as the shell drives it:
// every 50 ms of the manual clock a receive tick, the wait pass and a sender
// step; once a minute the schedule timer.
#pragma once

#include <memory>
#include <string>

#include "autopilot/Autopilot.h"
#include "link/Clock.h"
#include "settings/Settings.h"
#include "sim/DemoPort.h"
#include "sim/SimPort.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"

namespace nami::test {

// The simulated port, with every byte nami sends recorded in order.
class RecordingSimPort final : public IPort {
 public:
  RecordingSimPort(IClock& clock, sim::STncOptions tnc, int drainBytesPerSec)
      : sim_(clock, sim::CMessageBase::BuiltIn(), {}, tnc, drainBytesPerSec) {}
  bool Open(const std::string& comstatus) override { return sim_.Open(comstatus); }
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override {
    return sim_.ReadAvailable(buffer, capacity);
  }
  std::size_t SendText(std::string_view bytes) override {
    // Mail files go out a byte at a time, each only once the queue is empty.
    if (bytes.size() == 1 && sim_.TransmitQueueCount() > 0) ++bytesIntoBusyQueue;
    std::size_t n = sim_.SendText(bytes);
    sent.append(bytes.substr(0, n));
    return n;
  }
  int TransmitQueueCount() override { return sim_.TransmitQueueCount(); }
  void Close() override { sim_.Close(); }
  bool IsOpen() const override { return sim_.IsOpen(); }

  sim::CSimPort& Sim() { return sim_; }
  std::string sent;
  int bytesIntoBusyQueue = 0;

 private:
  sim::CSimPort sim_;
};

struct SimRig {
  static constexpr int kTickMs = 50;
  static constexpr int kPacerMs = 5;
  static constexpr int kScheduleMs = 60000;

  // `drainBytesPerSec` > 0: what nami sends waits in the port's transmit
  // queue and reaches the TNC at that pace, as on a slow radio link.
  explicit SimRig(sim::STncOptions tnc = {}, int drainBytesPerSec = 0)
      : settings(dir.File("NAMI.INI")), doc(settings, ui), core(doc), clock(kStart), pilot(doc, clock) {
    FillDemoProfile(settings);
    settings.Set(keys::ListFile, dir.File("list.log"));
    settings.Set(keys::MailFile, dir.File("mail.log"));
    auto p = std::make_unique<RecordingSimPort>(clock, tnc, drainBytesPerSec);
    port = p.get();
    doc.SetPort(std::move(p));
    doc.OpenPort("COM2:9600,n,8,1,n");
  }

  // 50 ms of the shell's loop: the sender pacer, which runs far more often
  // than the receive tick, then the tick with its wait pass.
  void Cycle() {
    for (int i = 0; i < kTickMs / kPacerMs; ++i) {
      clock.AdvanceMs(kPacerMs);
      doc.Senders.Step();
    }
    core.Tick();
    pilot.OnTick();
    if (clock.MonotonicMs() % kScheduleMs == 0) pilot.OnScheduleTimer();
  }
  // Runs the loop until the autopilot is idle; false if it still runs
  // after `maxMs` of simulated time.
  bool RunUntilIdle(int maxMs = 600000) {
    for (int t = 0; t < maxMs; t += kTickMs) {
      if (!pilot.Busy()) return true;
      Cycle();
    }
    return !pilot.Busy();
  }
  void RunFor(int ms) {
    for (int t = 0; t < ms; t += kTickMs) Cycle();
  }
  std::string Setting(const KeySpec& key) const { return settings.Raw(key); }
  sim::CMessageBase& Base() { return port->Sim().Base(); }

  static constexpr std::time_t kStart = 1796680000;  // 2026-12-07 (a Monday)
  TempDir dir;
  CSettings settings;
  RecordingSink ui;
  CNamiDoc doc;
  CTerminalCore core;
  CManualClock clock;
  CAutopilot pilot;
  RecordingSimPort* port = nullptr;
};

}  // namespace nami::test
