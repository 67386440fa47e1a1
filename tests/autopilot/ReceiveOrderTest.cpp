// The order in which the receive listeners see a tick: the capture, then
// the autopilot's log, then its prompt watch, then the automatic responses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/StationRig.h"

namespace nami {
namespace {

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

// A station on a bare line with a capture running and an automatic
// response to the prompt.
struct Station : test::StationRig {
  Station() : StationRig(test::BareLine()) {
    settings.Set(keys::Prompt, "BBS>");
    settings.Set(keys::Field[0], "L");
    settings.Set(keys::Event[0], "BBS>");
    settings.Set(keys::Response[0], "HELLO");
    station.NewDocument();  // the responses are read as the port opens
    probe.inner = doc.ReceiveListener(ReceiveSlot::Capture);
    probe.logPath = dir.File("list.log");
    doc.SetReceiveListener(ReceiveSlot::Capture, &probe);
    EXPECT_TRUE(station.Transfers().StartCapture(dir.File("capture.dwn")));
  }
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
    };
    std::vector<Seen> atResponse;
    s.port->onSend = [&](std::string_view bytes) {
      if (bytes == "HELLO\r")
        atResponse.push_back({test::ReadFile(s.dir.File("capture.dwn")), test::ReadFile(s.dir.File("list.log"))});
    };
    // Each tick is the station's: the receive tick, then the wait pass.
    for (std::size_t i = 0; i < c.ticks.size(); ++i) {
      ASSERT_TRUE(s.pilot.Busy()) << "tick " << i;
      s.Receive(c.ticks[i]);
    }
    ASSERT_EQ(atResponse.size(), 1u);
    EXPECT_EQ(atResponse[0].capture, c.lines);
    EXPECT_EQ(atResponse[0].log, c.lines);
    // The prompt was seen in the tick whose automatic response answered it:
    // the wait pass of that same tick confirms it, and nothing but the
    // response went out meanwhile.
    EXPECT_EQ(s.port->sent, "HELLO\r");
    // The capture saw each line while the log held only the lines before it.
    std::vector<std::string> before;
    for (std::size_t at = 0; at < c.lines.size(); at = c.lines.find("\r\n", at) + 2)
      before.push_back(c.lines.substr(0, at));
    EXPECT_EQ(s.probe.logWhenCaptured, before);
    // The wait pass after the tick confirms the prompt: no further command
    // (one field), the step ends.
    EXPECT_FALSE(s.pilot.Busy());
    EXPECT_EQ(test::ReadFile(s.dir.File("list.log")), c.lines);
  }
}

}  // namespace
}  // namespace nami
