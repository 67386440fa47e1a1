// Whole auto-mode runs against the scripted BBS: the bytes on the link, the
// logs and the settings afterwards.
#include <gtest/gtest.h>

#include "support/StationRig.h"

namespace nami::test {
namespace {

// Three new messages above "LastMailNo" (99 is old) and one mail queued.
void Prepare(StationRig& rig) {
  rig.Messages({{99, "JA1AAA old"}, {101, "JA1BBB one"}, {102, "JA1CCC two"}, {103, "JA1DDD three"}});
  rig.settings.Set(keys::Field[0], "L #");
  rig.settings.Set(keys::LastMailNo, "100");
  rig.settings.Set(keys::ReadCom, "R");
  const std::string mailFile = rig.dir.File("mail1.txt");
  WriteFile(mailFile, "SP JA1XYZ\r\nTest title\r\nHello\r\n");
  rig.settings.Set(keys::Send[0], mailFile);
}

class AutopilotRun : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(rig); }
  StationRig rig{SmallBbs()};
};

TEST_F(AutopilotRun, CompleteRunByteForByte) {
  rig.pilot.Run(AutoCommand::AutoMode);
  EXPECT_TRUE(rig.pilot.Busy());
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::List));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::End));
  EXPECT_NE(rig.pilot.StatusText(), "");
  ASSERT_LT(rig.Drain(), 20000);
  EXPECT_EQ(rig.pilot.StatusText(), "");
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::End)) << "nothing to end: a stray key logs nothing off";

  EXPECT_EQ(rig.port->sent,
            "\x03\rCONNECT QZ1ABC\r"
            "SP JA1XYZ\rTest title\rHello\r\x1A\r"
            "L 100\r"
            "R 103\rR 102\rR 101\r"
            "B\r\x03"
            "D\r");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_FALSE(rig.pilot.State().Running());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "103");
  for (const KeySpec& key : keys::Send) EXPECT_EQ(rig.Setting(key), "") << key.name;
  EXPECT_EQ(ReadFile(rig.dir.File("list.log")),
            "Msg#   TS  Size To     @Route  From   Date        Subject\r\n"
            "101    BN    12 ALL            JA1BBB 261207/0900 one\r\n"
            "102    BN    12 ALL            JA1CCC 261207/0900 two\r\n"
            "103    BN    12 ALL            JA1DDD 261207/0900 three\r\n\r\nQZ1ABC>\r\n");
  EXPECT_EQ(ReadFile(rig.dir.File("mail.log")),
            ReadAnswer(103, "JA1DDD", "three") + ReadAnswer(102, "JA1CCC", "two") + ReadAnswer(101, "JA1BBB", "one"));
  EXPECT_FALSE(rig.LogOpen());
  ASSERT_EQ(rig.Mails().size(), 1u);
  EXPECT_EQ(rig.Mails()[0], "SP JA1XYZ\nTest title\nHello\n");
  EXPECT_TRUE(rig.ui.messages.empty());
}

// Logs sent to the null device: the run completes and sends its mail; with
// no list kept, no message is read.
TEST_F(AutopilotRun, LogsOnDevNullAreTaken) {
  rig.settings.Set(keys::ListFile, "/dev/null");
  rig.settings.Set(keys::MailFile, "/dev/null");
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_LT(rig.Drain(), 20000);
  EXPECT_EQ(rig.port->sent,
            "\x03\rCONNECT QZ1ABC\r"
            "SP JA1XYZ\rTest title\rHello\r\x1A\r"
            "L 100\r"
            "B\r\x03"
            "D\r");
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome)) << rig.pilot.LastEnd().reason;
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.Setting(keys::Send[0]), "");
}

TEST_F(AutopilotRun, EachCommandGoesOutInTheWaitPassAfterThePromptTick) {
  rig.pilot.Run(AutoCommand::AutoMode);
  // Tick by tick: whenever a tick completes the prompt line, the next command
  // must already be on the link when the wait pass returns.
  for (int i = 0; i < 2000 && rig.pilot.Busy(); ++i) {
    rig.core.Tick();
    const bool promptArrived = rig.doc.Lines().LastLine() == "QZ1ABC>" && rig.pilot.State().PromptSeen();
    const std::size_t before = rig.port->sent.size();
    rig.pilot.OnTick();
    if (promptArrived && rig.doc.Sending().Idle()) {
      EXPECT_GT(rig.port->sent.size(), before) << "tick " << i;
    }
    rig.doc.Sending().Step();
    rig.clock.AdvanceMs(StationRig::kTickMs);
  }
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
}

TEST(AutopilotRunProfile, PasswordAndCallAndPromptFromTheProfile) {
  SStationOptions options = SmallBbs();
  options.bbs.call = "JA1BBS-1";
  options.bbs.prompt = "QZ BBS>";
  StationRig rig(options);
  Prepare(rig);
  rig.settings.Set(keys::Call, "JA1BBS-1 VIA JA1DGI");
  rig.settings.Set(keys::Password, "secret");
  rig.settings.Set(keys::Prompt, "BBS>");
  rig.pilot.State().SelectSteps(StepChoice{false, false, false});
  rig.pilot.Run(AutoCommand::AutoMode);
  // The password goes out at once, before any answer.
  EXPECT_EQ(rig.port->sent, "\x03\rCONNECT JA1BBS-1 VIA JA1DGI\rsecret\r");
  EXPECT_EQ(rig.pilot.State().WaitText(), "BBS>");
  rig.Drain();
  // No step selected: connect, wait for the prompt, log off.
  EXPECT_EQ(rig.port->sent,
            "\x03\rCONNECT JA1BBS-1 VIA JA1DGI\rsecret\rB\r\x03"
            "D\r");
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
}

TEST(AutopilotRunPrompt, PromptOnlyInAnUnfinishedLineDoesNotEndTheWait) {
  // The BBS sends its prompt without a line end.
  SStationOptions options = SmallBbs();
  options.bbs.promptEndsLine = false;
  StationRig rig(options);
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  // The store is short, so LatestLine is the unfinished line itself and the
  // prompt is confirmed through it.
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.State().Running());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));

  // With a full pane LatestLine is the last completed line: the wait goes on
  // until the line end arrives.
  StationRig full(options);
  full.core.SetRows(2);
  full.pilot.Run(AutoCommand::Connect);
  full.Drain();
  EXPECT_TRUE(full.pilot.State().PromptSeen());
  EXPECT_TRUE(full.pilot.Busy());
  full.BbsSays("\r");
  full.Drain();
  EXPECT_FALSE(full.pilot.Busy());
}

TEST_F(AutopilotRun, StepsChosenByHandNeverLogOff) {
  rig.pilot.Run(AutoCommand::Connect);
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  rig.Drain();
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  rig.pilot.Run(AutoCommand::Send);
  rig.Drain();
  rig.pilot.Run(AutoCommand::List);
  rig.Drain();
  rig.pilot.Run(AutoCommand::Read);
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "\x03\rCONNECT QZ1ABC\rSP JA1XYZ\rTest title\rHello\r\x1A\rL 100\rR 103\rR 102\rR 101\r");
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_TRUE(rig.pilot.State().Running());  // a normal end leaves the run flag set
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_EQ(rig.pilot.LastEnd().outcome, RunOutcome::None);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "103");
}

TEST_F(AutopilotRun, StepsChosenByHandSetTheirOwnRunFlagAndWaitText) {
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  rig.settings.Set(keys::Field[1], "LL 3");
  rig.settings.Set(keys::Prompt, "ABC>");  // found in the BBS's "QZ1ABC>"
  const std::pair<AutoCommand, const char*> steps[] = {
      {AutoCommand::Send, "SP JA1XYZ\rTest title\rHello\r\x1A\r"},
      {AutoCommand::List, "L 100\rLL 3\r"},
      // 101 to 103 are listed by both commands; 99 is not new.
      {AutoCommand::Read, "R 103\rR 102\rR 101\rR 103\rR 102\rR 101\r"}};
  for (const auto& [command, expected] : steps) {
    SCOPED_TRACE(expected);
    rig.pilot.State().Raise(RunEvent::EndCommand);  // the phase an earlier end command leaves
    rig.pilot.State().ArmWait("never");
    rig.port->sent.clear();
    rig.pilot.Run(command);
    EXPECT_EQ(rig.pilot.State().WaitText(), "ABC>");
    rig.Drain();
    EXPECT_EQ(rig.port->sent, expected);
    EXPECT_TRUE(rig.pilot.State().Running());
    EXPECT_FALSE(rig.pilot.Busy());
  }
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "103");
}

TEST_F(AutopilotRun, StartWhileAStepRunsDoesNothing) {
  rig.pilot.Run(AutoCommand::Connect);
  const std::string before = rig.port->sent;
  rig.pilot.StartAutoMode();  // the handler's own check, not only the disabled command
  rig.pilot.Run(AutoCommand::AutoMode);
  EXPECT_EQ(rig.port->sent, before);
}

}  // namespace
}  // namespace nami::test
