// A document wired to a scripted BBS, with the shell's loop: deliver bytes,
// receive tick, wait pass, sender step.
#pragma once

#include <memory>
#include <string>

#include "BbsPeer.h"
#include "autopilot/Autopilot.h"
#include "link/Clock.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"

namespace nami::test {

struct AutopilotRig {
  explicit AutopilotRig(IFileOps& ops = PosixFileOps())
      : settings(dir.File("NAMI.INI"), ops), doc(settings, ui), core(doc), clock(0), pilot(doc, clock) {
    auto port = std::make_unique<BbsPeer>();
    peer = port.get();
    doc.SetPort(std::move(port));
    doc.OpenPort("COM1:9600,n,8,1,n");
    settings.Set(keys::ListFile, dir.File("list.log"));
    settings.Set(keys::MailFile, dir.File("mail.log"));
  }

  // One pass of the shell's loop.
  void Cycle() {
    core.Tick();
    pilot.OnTick();
    doc.Senders.Step();
    clock.AdvanceMs(50);
  }
  // Runs the loop until the peer has been quiet and nothing has been
  // sending for two cycles; returns the cycles used (`limit` = it never calmed).
  int Drain(int limit = 20000) {
    int quiet = 0;
    for (int i = 0; i < limit; ++i) {
      Cycle();
      if (peer->output.empty() && doc.Senders.Empty()) {
        if (++quiet >= 2) return i;
      } else {
        quiet = 0;
      }
    }
    return limit;
  }
  std::string Setting(const KeySpec& key) { return settings.Raw(key); }

  TempDir dir;
  CSettings settings;
  RecordingSink ui;
  CNamiDoc doc;
  CTerminalCore core;
  CManualClock clock;
  CAutopilot pilot;
  BbsPeer* peer = nullptr;
};

}  // namespace nami::test
