// A real station (src/station) on the simulated TNC and BBS (src/sim),
// driven as the shell drives it: every 50 ms of a manual clock the send
// engine's passes (every 5 ms, its timer for a port without a descriptor),
// the station's tick (receive tick, port check, wait pass) and, once a
// minute, the schedule timer. Every byte nami sends is
// recorded in order; the BBS's message base shows what was posted. With
// SStationOptions::simulator off nothing is behind the port: the line brings
// only what the test delivers, one chunk per tick.
//
// SimLink is the same simulator without a station, for tests that talk to
// the TNC byte by byte.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "autopilot/Autopilot.h"
#include "settings/Settings.h"
#include "sim/DemoPort.h"
#include "sim/SimPort.h"
#include "station/Station.h"
#include "station/StationEvents.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "time/Clock.h"

namespace nami::test {

struct SStationOptions;

// The shell's side of the station: what it asks the pane to show.
class RecordingShell final : public IStationEvents {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Beep() override { ++beeps; }
  void DrawDirect() override {
    ++draws;
    updates.push_back("draw");
  }
  void InvalidateAll() override {
    ++invalidates;
    updates.push_back("all");
  }
  void ScrollLines(int lines) override { updates.push_back("scroll " + std::to_string(lines)); }
  void RedrawBottomRow(bool clearRest) override { updates.push_back(clearRest ? "bottom+clear" : "bottom"); }

  std::vector<std::string> messages;
  std::vector<std::string> updates;
  int beeps = 0;
  int draws = 0;
  int invalidates = 0;
};

// The station's port: the simulator, or nothing (bytes come only from
// Deliver); every byte nami sends is recorded in order.
class StationPort final : public IPort {
 public:
  StationPort(IClock& clock, SStationOptions& o);
  bool Open(const std::string& comstatus) override {
    ++openCount;
    lastConfig = comstatus;
    open_ = !failOpen && (sim_ ? sim_->Open(comstatus) : true);
    return open_;
  }
  std::size_t ReadAvailable(char* buffer, std::size_t capacity) override {
    if (!open_) return 0;
    if (!input_.empty()) {
      // A delivered chunk is one read of its own.
      std::string& chunk = input_.front();
      const std::size_t n = std::min(capacity, chunk.size());
      chunk.copy(buffer, n);
      chunk.erase(0, n);
      if (chunk.empty()) input_.pop_front();
      return n;
    }
    return sim_ ? sim_->ReadAvailable(buffer, capacity) : 0;
  }
  std::size_t SendText(std::string_view bytes) override {
    if (!open_) return 0;
    if (onSend) onSend(bytes);
    // Mail files go out a byte at a time, each only once the queue is empty.
    if (bytes.size() == 1 && TransmitQueueCount() > 0) ++bytesIntoBusyQueue;
    const std::size_t n = sim_ ? sim_->SendText(bytes) : bytes.size();
    sent.append(bytes.substr(0, n));
    if (n > 0) writes.emplace_back(bytes.substr(0, n));
    return n;
  }
  int TransmitQueueCount() override { return sim_ ? sim_->TransmitQueueCount() : 0; }
  void Close() override {
    if (sim_) sim_->Close();
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  std::string Failure() const override { return open_ ? std::string() : failure_; }
  bool TakeLost() override { return std::exchange(lost_, false); }

  // The device vanishes: the port closes itself and says so once.
  void Vanish(const std::string& why) {
    if (sim_) sim_->Close();
    open_ = false;
    lost_ = true;
    failure_ = why;
  }
  // The line brings `chunk` at the next read, ahead of the simulator.
  void Deliver(std::string chunk) { input_.push_back(std::move(chunk)); }
  // What was sent since the last call.
  std::string TakeSent() {
    writes.clear();
    return std::exchange(sent, {});
  }
  sim::CSimPort& Sim() { return *sim_; }

  std::string sent;                 // every byte taken, in order
  std::vector<std::string> writes;  // one entry per write that took bytes
  int bytesIntoBusyQueue = 0;
  int openCount = 0;
  std::string lastConfig;
  bool failOpen = false;  // the device cannot be opened
  std::function<void(std::string_view)> onSend;  // called with each write, before it is taken

 private:
  std::optional<sim::CSimPort> sim_;
  std::deque<std::string> input_;
  bool open_ = false;
  bool lost_ = false;
  std::string failure_;
};

// Timing of a quick radio link: short connects and answers.
inline sim::STncOptions FastTnc() {
  sim::STncOptions o;
  o.connectDelayMs = 300;
  o.answerDelayMs = 50;
  o.lineDelayMs = 10;
  return o;
}

struct SStationOptions {
  sim::STncOptions tnc;
  sim::SBbsOptions bbs;
  sim::CMessageBase base = sim::CMessageBase::BuiltIn();
  // > 0: what nami sends waits in the port's transmit queue and reaches the
  // TNC at that pace, as on a slow radio link.
  int drainBytesPerSec = 0;
  // The demo's profile (call, prompt, list and read commands) in NAMI.INI.
  bool demoProfile = true;
  std::time_t start = 1796680000;  // 2026-12-07 (a Monday)
  IFileOps* fileOps = nullptr;     // nullptr: the real file system
  // The folder of NAMI.INI, made inside the rig's folder; empty: that folder.
  std::string iniFolder;
  // false: no TNC behind the port, the test delivers what the line brings.
  bool simulator = true;
};

inline StationPort::StationPort(IClock& clock, SStationOptions& o) {
  if (o.simulator) sim_.emplace(clock, std::move(o.base), std::move(o.bbs), std::move(o.tnc), o.drainBytesPerSec);
}

// A bare line for terminal tests: nothing answers, an empty profile.
inline SStationOptions BareLine() {
  SStationOptions o;
  o.simulator = false;
  o.demoProfile = false;
  return o;
}

// A small BBS for step-by-step tests: no messages, the prompt "QZ1ABC>",
// lists from the oldest up without the station's own mail, quick answers,
// an empty profile.
inline SStationOptions SmallBbs() {
  SStationOptions o;
  o.tnc = FastTnc();
  o.bbs.prompt = "QZ1ABC>";
  o.bbs.newestFirst = false;
  o.bbs.listSentMail = false;
  o.base = sim::CMessageBase();
  o.demoProfile = false;
  return o;
}

// The BBS's answer to "R n" for a bulletin of StationRig::Messages, as it
// lands in the mail log, with the prompt "QZ1ABC>".
inline std::string ReadAnswer(int n, const std::string& from, const std::string& subject) {
  const std::string number = std::to_string(n);
  const std::string body = "body of " + number;
  return "Msg# " + number + "  Type: B  Status: N  Size: " + std::to_string(body.size() + 1) + "\r\nFrom: " + from +
         "  To: ALL\r\nDate: 261207/0900\r\nSubject: " + subject + "\r\n\r\n" + body + "\r\n\r\nQZ1ABC>\r\n";
}

struct StationRig {
  static constexpr int kTickMs = 50;
  static constexpr int kPacerMs = CSendEngine::kTimerMs;
  static constexpr int kScheduleMs = 60000;

  // The demo's TNC with these options; `drainBytesPerSec` as above.
  explicit StationRig(sim::STncOptions tnc, int drainBytesPerSec = 0)
      : StationRig(WithTnc(std::move(tnc), drainBytesPerSec)) {}
  explicit StationRig(SStationOptions o = {})
      : settings(IniPath(dir, o.iniFolder), o.fileOps ? *o.fileOps : PosixFileOps()),
        clock(o.start),
        station(settings, clock, false),
        doc(station.Doc()),
        core(station.Core()),
        pilot(station.Autopilot()) {
    station.SetEvents(&ui);
    if (o.demoProfile) FillDemoProfile(settings);
    settings.Set(keys::ListFile, dir.File("list.log"));
    settings.Set(keys::MailFile, dir.File("mail.log"));
    auto p = std::make_unique<StationPort>(clock, o);
    port = p.get();
    station.SetPort(std::move(p));
    station.NewDocument();
    if (o.simulator) highestAtStart = Base().HighestNumber();
  }

  // 50 ms of the shell's loop: the send engine's passes, which run far more
  // often than the receive tick, then the station's tick.
  void Cycle() {
    for (int i = 0; i < kTickMs / kPacerMs; ++i) {
      clock.AdvanceMs(kPacerMs);
      doc.Sending().Run();
    }
    station.Tick();
    if (scheduleTimer && clock.MonotonicMs() % kScheduleMs == 0) station.OnMinuteTimer();
  }
  // Each chunk arrives on the line and one station tick takes it.
  void Receive(const std::vector<std::string>& chunks) {
    for (const std::string& c : chunks) {
      port->Deliver(c);
      station.Tick();
    }
  }
  void Receive(const std::string& bytes) { Receive(std::vector<std::string>{bytes}); }
  // The terminal's completed lines, oldest first.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < doc.Lines().LineCount(); ++i) out.push_back(doc.Lines().LineAt(i));
    return out;
  }
  // Nothing on its way in either direction and nothing scheduled.
  bool Quiet() {
    sim::CTnc2& tnc = port->Sim().Tnc();
    return tnc.PendingOutput() == 0 && tnc.NextEventMs() < 0 && port->TransmitQueueCount() == 0 && doc.Sending().Idle();
  }
  // Runs the loop until the link has been quiet for two cycles; returns
  // the cycles used (`limit` = it never calmed).
  int Drain(int limit = 20000) {
    int quiet = 0;
    for (int i = 0; i < limit; ++i) {
      Cycle();
      if (!Quiet()) {
        quiet = 0;
      } else if (++quiet >= 2) {
        return i;
      }
    }
    return limit;
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
  // Runs the loop until nami has sent `marker` (at most `limit` cycles).
  void CycleUntilSent(const std::string& marker, int limit = 5000) {
    for (int i = 0; i < limit && port->sent.find(marker) == std::string::npos; ++i) Cycle();
  }

  std::string Setting(const KeySpec& key) const { return settings.Raw(key); }
  sim::CMessageBase& Base() { return port->Sim().Base(); }
  bool Connected() { return port->Sim().Tnc().Connected(); }
  // The link fails now.
  void DropLink() { port->Sim().Tnc().FarSide().DropLink(); }
  // The BBS sends `bytes` unasked (CR ends a line).
  void BbsSays(std::string_view bytes) { port->Sim().Tnc().FarSide().SendUnasked(bytes); }
  // Whether this process holds `path` open (looked up in /proc/self/fd).
  static bool HeldOpen(const std::string& path) {
    std::error_code ec;
    const std::string want = std::filesystem::weakly_canonical(path, ec).string();
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds) return false;
    bool found = false;
    while (dirent* e = ::readdir(fds)) {
      char target[PATH_MAX];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
      if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == want) found = true;
    }
    ::closedir(fds);
    return found;
  }
  // Whether the list log or the mail log of the profile is held open.
  bool LogOpen() const { return HeldOpen(settings.ListFilePath()) || HeldOpen(settings.MailFilePath()); }
  // Whether a line received now is written to the list log or the mail
  // log: a probe line goes through the terminal as if from the link.
  bool LogsTakeLines() {
    const std::string probe = "probe line " + std::to_string(++probes_);
    const std::string bytes = probe + "\r\n";
    core.Receive(bytes.data(), bytes.size());
    auto holds = [&](const std::string& path) {
      return FileExists(path) && ReadFile(path).find(probe) != std::string::npos;
    };
    return holds(settings.ListFilePath()) || holds(settings.MailFilePath());
  }
  // Whether a line on the terminal holds `text`.
  bool Shown(const std::string& text) const {
    for (std::size_t i = 0; i < doc.Lines().LineCount(); ++i) {
      if (doc.Lines().LineAt(i).find(text) != std::string::npos) return true;
    }
    return false;
  }
  // What the TNC holds for nami and has not yet delivered.
  std::size_t Undelivered() { return port->Sim().Tnc().PendingOutput(); }
  // The answers on their way are lost.
  void LoseUndelivered() { port->Sim().Tnc().Engine().DiscardOutput(); }

  // Bulletins numbered as given: the first word of `text` is the sender,
  // the rest the subject; the body is "body of <number>".
  void Messages(std::initializer_list<std::pair<int, std::string>> messages) {
    for (const auto& [number, text] : messages) AddMessage(number, text);
  }
  void AddMessage(int number, const std::string& text) {
    sim::SMessage m;
    m.number = number;
    m.to = "ALL";
    std::size_t space = text.find(' ');
    m.from = text.substr(0, space);
    m.subject = space == std::string::npos ? "" : text.substr(space + 1);
    m.date = "261207/0900";
    m.body = {"body of " + std::to_string(number)};
    Base().Add(std::move(m));
    highestAtStart = Base().HighestNumber();
  }
  // The personal mails posted during the test, each as the lines the
  // station typed: "SP call", the subject, the text lines.
  std::vector<std::string> Mails() {
    std::vector<std::string> mails;
    for (const auto& [number, m] : Base().Messages()) {
      if (number <= highestAtStart) continue;
      std::string text = std::string(m.type == 'P' ? "SP " : "SB ") + m.to + "\n" + m.subject + "\n";
      for (const std::string& line : m.body) text += line + "\n";
      mails.push_back(text);
    }
    return mails;
  }
  // The read commands ("R n") nami has sent whole.
  int Reads() const {
    int n = 0;
    for (std::size_t p = 0; (p = port->sent.find("R ", p)) != std::string::npos; p += 2) {
      if ((p == 0 || port->sent[p - 1] == '\r') && port->sent.find('\r', p) != std::string::npos) ++n;
    }
    return n;
  }

  static std::string IniPath(const TempDir& dir, const std::string& folder) {
    if (folder.empty()) return dir.File("NAMI.INI");
    std::filesystem::create_directories(dir.File(folder));
    return dir.File(folder + "/NAMI.INI");
  }
  static SStationOptions WithTnc(sim::STncOptions tnc, int drainBytesPerSec) {
    SStationOptions o;
    o.tnc = std::move(tnc);
    o.drainBytesPerSec = drainBytesPerSec;
    return o;
  }

  TempDir dir;
  CSettings settings;
  RecordingShell ui;  // what the station asks the pane to show
  CManualClock clock;
  CStation station;
  CNamiDoc& doc;
  CTerminalCore& core;
  CAutopilot& pilot;
  StationPort* port = nullptr;
  bool scheduleTimer = true;  // false: the test drives the schedule timer itself
  int highestAtStart = 0;

 private:
  int probes_ = 0;
};

// The simulated port on its own, with a manual clock.
class SimLink {
 public:
  explicit SimLink(sim::STncOptions tnc = FastTnc(), sim::SBbsOptions bbs = {}, int drain = 0,
                   sim::CMessageBase base = sim::CMessageBase::BuiltIn())
      : port(clock, std::move(base), std::move(bbs), std::move(tnc), drain) {
    port.Open("COM1:9600,n,8,1,n");
  }

  // Lets `ms` of time pass in 10 ms steps and returns what arrived.
  std::string Pump(int ms) {
    std::string got;
    for (int t = 0; t < ms; t += 10) {
      clock.AdvanceMs(10);
      char buf[512];
      for (std::size_t n; (n = port.ReadAvailable(buf, sizeof buf)) > 0;) got.append(buf, n);
    }
    return got;
  }
  // Sends `bytes`, then waits (at most `maxMs`) until the answer contains `until`.
  std::string Send(const std::string& bytes, const std::string& until, int maxMs = 30000) {
    port.SendText(bytes);
    return Wait(until, maxMs);
  }
  std::string Wait(const std::string& until, int maxMs = 30000) {
    std::string got;
    for (int t = 0; t < maxMs && got.find(until) == std::string::npos; t += 10) got += Pump(10);
    return got;
  }

  CManualClock clock{1796680000};
  sim::CSimPort port;
};

}  // namespace nami::test
