// The order in which the receive listeners see a tick: the capture, then
// the autopilot's log, then its prompt watch, then the automatic responses.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "autopilot/Autopilot.h"
#include "time/Clock.h"
#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "transfer/Transfers.h"

namespace nami {
namespace {

// A port that runs a probe whenever something is sent.
struct ProbePort : test::FakePort {
  std::size_t SendText(std::string_view bytes) override {
    if (onSend) onSend(bytes);
    return FakePort::SendText(bytes);
  }
  std::function<void(std::string_view)> onSend;
};

// Sits in the capture slot in front of the transfers' capture and
// looks at the log as each line arrives.
struct CaptureProbe final : IReceiveListener {
  void OnLine(std::string_view line) override {
    inner->OnLine(line);
    logWhenCaptured.push_back(test::ReadFile(logPath));
  }
  IReceiveListener* inner = nullptr;
  std::string logPath;
  std::vector<std::string> logWhenCaptured;
};

struct Station {
  Station()
      : settings(dir.File("NAMI.INI")),
        doc(settings, ui),
        core(doc),
        clock(0),
        pilot(doc, clock),
        transfers(doc, clock) {
    auto p = std::make_unique<ProbePort>();
    port = p.get();
    doc.SetPort(std::move(p));
    settings.Set(keys::ListFile, dir.File("list.log"));
    settings.Set(keys::Prompt, "BBS>");
    settings.Set(keys::Field[0], "L");
    settings.Set(keys::Event[0], "BBS>");
    settings.Set(keys::Response[0], "HELLO");
    doc.OpenPort("COM1:9600,n,8,1,n");
    probe.inner = doc.ReceiveListener(ReceiveSlot::Capture);
    probe.logPath = dir.File("list.log");
    doc.SetReceiveListener(ReceiveSlot::Capture, &probe);
    EXPECT_TRUE(transfers.StartCapture(dir.File("capture.dwn")));
  }
  test::TempDir dir;
  CSettings settings;
  test::RecordingSink ui;
  CNamiDoc doc;
  CTerminalCore core;
  CManualClock clock;
  CAutopilot pilot;
  CTransfers transfers;
  ProbePort* port = nullptr;
  CaptureProbe probe;
};

TEST(ReceiveOrder, CaptureAndLogHaveTheLineAndThePromptIsSeenBeforeAnAutomaticResponse) {
  struct Case {
    const char* name;
    std::vector<std::string> ticks;
    std::string lines;  // what the capture and the list log hold in the end
  };
  const std::vector<Case> cases = {
      {"prompt after lines in one tick", {"1 QZ1XYZ\r\n2 QZ1XYZ\r\nBBS>"}, "1 QZ1XYZ\r\n2 QZ1XYZ\r\n"},
      {"prompt in its own tick", {"1 QZ1XYZ\r\n", "BBS>"}, "1 QZ1XYZ\r\n"},
      {"prompt as a completed line", {"1 QZ1XYZ\r\nBBS>\r\n"}, "1 QZ1XYZ\r\nBBS>\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Station s;
    s.pilot.Run(AutoCommand::List);
    ASSERT_EQ(s.port->TakeSent(), "L\r");
    struct Seen {
      std::string capture, log;
      bool prompt;
    };
    std::vector<Seen> atResponse;
    s.port->onSend = [&](std::string_view bytes) {
      if (bytes == "HELLO\r")
        atResponse.push_back({test::ReadFile(s.dir.File("capture.dwn")), test::ReadFile(s.dir.File("list.log")),
                              s.pilot.State().PromptSeen});
    };
    for (const std::string& t : c.ticks) {
      s.port->Deliver(t);
      s.core.Tick();
    }
    ASSERT_EQ(atResponse.size(), 1u);
    EXPECT_EQ(atResponse[0].capture, c.lines);
    EXPECT_EQ(atResponse[0].log, c.lines);
    EXPECT_TRUE(atResponse[0].prompt);
    // The capture saw each line while the log held only the lines before it.
    std::vector<std::string> before;
    for (std::size_t at = 0; at < c.lines.size(); at = c.lines.find("\r\n", at) + 2)
      before.push_back(c.lines.substr(0, at));
    EXPECT_EQ(s.probe.logWhenCaptured, before);
    // The wait pass after the tick confirms the prompt: no further command
    // (one field), the step ends.
    s.pilot.OnTick();
    EXPECT_FALSE(s.pilot.Busy());
    EXPECT_EQ(test::ReadFile(s.dir.File("list.log")), c.lines);
  }
}

}  // namespace
}  // namespace nami
