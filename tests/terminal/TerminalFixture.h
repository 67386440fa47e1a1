// A document with a fake port, a recording sink and a settings file of its
// own, a terminal core over it and the autopilot's run state in its
// receive slot.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "autopilot/RunState.h"
#include "settings/Settings.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"

namespace nami::test {

struct TerminalFixture {
  TerminalFixture() : settings(dir.File("NAMI.INI")), doc(settings, sink), core(doc) {
    auto p = std::make_unique<FakePort>();
    port = p.get();
    doc.SetPort(std::move(p));
    doc.SetReceiveListener(ReceiveSlot::Autopilot, &run);
    doc.OpenPort("COM1:9600,n,8,1,n");
  }
  // Delivers each chunk to the port and runs one tick for it.
  void Ticks(const std::vector<std::string>& chunks) {
    for (const std::string& c : chunks) {
      port->Deliver(c);
      core.Tick();
    }
  }
  void Tick(const std::string& bytes) { Ticks({bytes}); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < doc.Lines().LineCount(); ++i) out.push_back(doc.Lines().LineAt(i));
    return out;
  }

  TempDir dir;
  CSettings settings;
  RecordingSink sink;
  CNamiDoc doc;
  CTerminalCore core;
  CRunState run{sink};
  FakePort* port = nullptr;
};

}  // namespace nami::test
