// The demo port through nami's own receive tick: the demo profile's prompt is seen
// and confirmed after every answer, list lines come out whole, and the bye
// is reported as a disconnection.
#include <gtest/gtest.h>

#include "autopilot/RunState.h"
#include "settings/Settings.h"
#include "sim/DemoPort.h"
#include "support/TestSupport.h"
#include "terminal/NamiDoc.h"
#include "terminal/TerminalCore.h"
#include "text/ShiftJis.h"

namespace nami {
namespace {

class DemoTerminal : public ::testing::Test {
 protected:
  DemoTerminal() : settings(dir.File("NAMI.INI")), doc(settings, sink), core(doc) {
    FillDemoProfile(settings);
    doc.SetPort(MakeDemoPort(clock));
    doc.Port()->Open("COM2:9600,n,8,1,n");
    doc.SetReceiveListener(ReceiveSlot::Autopilot, &run);
    run.WaitText = settings.Get(keys::Prompt);
  }
  // Sends a command as the autopilot does and runs 50 ms ticks until the
  // prompt is confirmed (or 30 s of demo time have passed).
  bool Command(const std::string& bytes) {
    run.PromptSeen = false;
    run.AutoRunning = true;
    doc.Port()->SendText(bytes);
    for (int t = 0; t < 30000; t += 50) {
      clock.AdvanceMs(50);
      core.Tick();
      if (run.PromptSeen &&
          (ContainsAtCharStart(run.LatestLine, run.WaitText) || ContainsAtCharStart(doc.Lines().LastLine(), run.WaitText)))
        return true;
      if (!run.AutoRunning) return false;
    }
    return false;
  }

  test::TempDir dir;
  test::RecordingSink sink;
  CManualClock clock;
  CSettings settings;
  CNamiDoc doc;
  CTerminalCore core;
  CRunState run{sink};
};

TEST_F(DemoTerminal, PromptIsConfirmedAfterEveryAnswerAndByeDisconnects) {
  // The second run lists only what is new since the first one said bye.
  for (auto [serial, expected] : {std::pair{"", 29}, std::pair{"yes", 1}}) {
    settings.Set(keys::Serial, serial);
    ASSERT_TRUE(Command("\x03\rCONNECT " + settings.Get(keys::Call) + "\r")) << serial;
    std::size_t before = doc.Lines().LineCount();
    ASSERT_TRUE(Command(settings.Get(keys::Field[0]) + "\r"));
    int listed = 0;
    for (std::size_t i = before; i < doc.Lines().LineCount(); ++i) {
      if (LeadingNumber(doc.Lines().LineAt(i)) > 0) ++listed;
      EXPECT_LE(doc.Lines().LineAt(i).size(), 80u);
    }
    EXPECT_EQ(listed, expected) << serial;
    ASSERT_TRUE(Command(settings.Get(keys::ReadCom) + " 1221\r"));
    ASSERT_TRUE(Command("SP QZ2KLM\r" + test::Sjis("件名") + "\rtext\r\x1A\r"));
    // The bye: the link reports the disconnection, which ends a run.
    EXPECT_FALSE(Command("B\r"));
    EXPECT_NE(doc.Lines().LastLine().find("** DISCONNECTED"), std::string::npos) << doc.Lines().LastLine();
    doc.Port()->SendText(
        "\x03"
        "D\r");
  }
}

}  // namespace
}  // namespace nami
