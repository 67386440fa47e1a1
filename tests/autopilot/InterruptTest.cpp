// Runs broken off at every point: by the link (a disconnection) and by the
// user (the end command).
#include <gtest/gtest.h>

#include "support/StationRig.h"

namespace nami::test {
namespace {

void PrepareFullRun(StationRig& rig) {
  rig.Messages({{99, "JA1AAA old"}, {101, "JA1BBB one"}, {102, "JA1CCC two"}, {103, "JA1DDD three"}});
  rig.settings.Set(keys::Field[0], "L #");
  rig.settings.Set(keys::Field[1], "LL 4");
  rig.settings.Set(keys::LastMailNo, "100");
  rig.settings.Set(keys::ReadCom, "R");
  WriteFile(rig.dir.File("m1.txt"), "SP JA1A\r\nfirst\r\n");
  WriteFile(rig.dir.File("m2.txt"), "SP JA1B\r\nsecond\r\n");
  rig.settings.Set(keys::Send[0], rig.dir.File("m1.txt"));
  rig.settings.Set(keys::Send[1], rig.dir.File("m2.txt"));
}

const char kLogOff[] =
    "B\r\x03"
    "D\r";

TEST(Interrupt, DisconnectionAfterEveryLinkEvent) {
  int total = 0;
  {
    StationRig rig{SmallBbs()};
    PrepareFullRun(rig);
    rig.pilot.Run(AutoCommand::AutoMode);
    rig.Drain();
    ASSERT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
    total = rig.port->Sim().Events();
  }
  ASSERT_GT(total, 40);
  int aborted = 0;
  for (int k = 1; k <= total; ++k) {
    SCOPED_TRACE("disconnection after event " + std::to_string(k));
    StationRig rig{SmallBbs()};
    PrepareFullRun(rig);
    rig.port->Sim().DropLinkAfterEvent(k);
    rig.pilot.Run(AutoCommand::AutoMode);
    ASSERT_LT(rig.Drain(), 20000);

    // Never left hanging with the commands disabled, nor with a file open.
    EXPECT_FALSE(rig.pilot.Busy());
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_FALSE(rig.LogOpen());
    EXPECT_FALSE(rig.LogsTakeLines());
    EXPECT_TRUE(rig.doc.Sending().Idle());

    const bool completed = IsCompleted(rig.pilot.LastEnd().outcome);
    const std::string& sent = rig.port->sent;
    if (!completed) {
      ++aborted;
      EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
      EXPECT_EQ(sent.find(kLogOff), std::string::npos) << "logged off after the link broke";
    }
    // "LastMailNo" moves only when every listed mail was asked for and answered.
    const std::string last = rig.Setting(keys::LastMailNo);
    if (last != "100") {
      EXPECT_EQ(last, "103");
      EXPECT_NE(sent.find("R 101\r"), std::string::npos);
      EXPECT_NE(ReadFile(rig.dir.File("mail.log")).find("body of 101"), std::string::npos);
    }
    // A key is emptied only once the BBS has taken its mail, in queue
    // order; a mail the BBS took and answered is never left queued.
    if (rig.Setting(keys::Send[0]).empty()) {
      EXPECT_GE(rig.Mails().size(), 1u);
    }
    if (rig.Setting(keys::Send[1]).empty()) {
      EXPECT_EQ(rig.Setting(keys::Send[0]), "");
      EXPECT_EQ(rig.Mails().size(), 2u);
    }
    if (sent.find("SP JA1B") != std::string::npos) {
      EXPECT_EQ(rig.Setting(keys::Send[0]), "");
    }
  }
  EXPECT_GT(aborted, total / 2);
}

TEST(Interrupt, DisconnectionInEachStepStopsTheRunWithoutLogOff) {
  // Break the link right after each step's first command.
  const char* firstCommand[] = {"CONNECT", "SP JA1A", "L 100", "R 103"};
  for (const char* cmd : firstCommand) {
    SCOPED_TRACE(cmd);
    StationRig rig{SmallBbs()};
    PrepareFullRun(rig);
    rig.pilot.Run(AutoCommand::AutoMode);
    for (int i = 0; i < 5000 && rig.port->sent.find(cmd) == std::string::npos; ++i) rig.Cycle();
    const std::size_t at = rig.port->sent.size();
    rig.DropLink();
    rig.Drain();
    EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
    EXPECT_FALSE(rig.pilot.LastEnd().reason.empty());
    // Only the end marker of a file being sent may still follow.
    const std::string after = rig.port->sent.substr(at);
    EXPECT_EQ(after.find(kLogOff), std::string::npos) << after;
    EXPECT_FALSE(rig.pilot.Busy());
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  }
}

TEST(Interrupt, EndCommandDuringTheConnectWaitAndANewRunAtOnce) {
  StationRig rig{SmallBbs()};
  PrepareFullRun(rig);
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.pilot.Run(AutoCommand::End);
  EXPECT_EQ(rig.port->sent, std::string("\x03\rCONNECT QZ1ABC\r") + kLogOff);
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
  rig.Drain();
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.Drain();
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "103");
}

TEST(Interrupt, EndCommandDuringEitherMailFile) {
  for (const char* marker : {"SP JA1A\rf", "SP JA1B\rs"}) {
    SCOPED_TRACE(marker);
    const bool second = marker[6] == 'B';
    // A radio link of 200 bytes a second: the file goes out a byte per pass
    // of the send engine, so the end command comes in the middle of it.
    SStationOptions slow = SmallBbs();
    slow.drainBytesPerSec = 200;
    StationRig rig{slow};
    PrepareFullRun(rig);
    rig.pilot.Run(AutoCommand::AutoMode);
    for (int i = 0; i < 5000 && rig.port->sent.find(marker) == std::string::npos; ++i) rig.Cycle();
    const std::size_t at = rig.port->sent.size();
    rig.pilot.Run(AutoCommand::End);
    // The end command's own bytes, then the file's end marker; nothing more.
    EXPECT_EQ(rig.port->sent.substr(at), std::string(kLogOff) + "\x1A\r");
    rig.Drain();
    EXPECT_EQ(rig.port->sent.substr(at), std::string(kLogOff) + "\x1A\r");
    EXPECT_FALSE(rig.pilot.Busy());
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    // The first mail's key went as soon as the BBS answered it; the one cut off stays.
    EXPECT_EQ(rig.Setting(keys::Send[0]), second ? "" : rig.dir.File("m1.txt"));
    EXPECT_EQ(rig.Setting(keys::Send[1]), rig.dir.File("m2.txt"));
    EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
  }
}

TEST(Interrupt, EndCommandBetweenListCommandsClosesTheLog) {
  StationRig rig{SmallBbs()};
  PrepareFullRun(rig);
  rig.pilot.State().SelectSteps(StepChoice{true, true, false});
  rig.pilot.Run(AutoCommand::AutoMode);
  for (int i = 0; i < 5000 && rig.port->sent.find("L 100\r") == std::string::npos; ++i) rig.Cycle();
  ASSERT_TRUE(rig.LogOpen());
  ASSERT_TRUE(rig.LogsTakeLines());
  rig.pilot.Run(AutoCommand::End);
  EXPECT_FALSE(rig.LogsTakeLines());
  EXPECT_FALSE(rig.LogOpen());
  EXPECT_FALSE(rig.pilot.Busy());
  rig.Drain();
  EXPECT_EQ(rig.port->sent.find("LL 4\r"), std::string::npos);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "100");

  // With nothing running the end command sends nothing: a stray key does
  // not log off a QSO the user is having.
  rig.port->sent.clear();
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::End));
  rig.pilot.Run(AutoCommand::End);
  EXPECT_EQ(rig.port->sent, "");
}

TEST(Interrupt, CancelClosesEverythingAndSendsNothing) {
  StationRig rig{SmallBbs()};
  PrepareFullRun(rig);
  rig.pilot.Run(AutoCommand::AutoMode);
  for (int i = 0; i < 5000 && rig.port->sent.find("SP JA1A") == std::string::npos; ++i) rig.Cycle();
  const std::string before = rig.port->sent;
  rig.pilot.Cancel();
  rig.Drain();
  EXPECT_EQ(rig.port->sent, before);
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.doc.Sending().Idle());
  EXPECT_FALSE(rig.pilot.MailSender().Sending());
}

}  // namespace
}  // namespace nami::test

namespace nami::test {
namespace {

// An empty list step used to wait for a prompt nothing would bring, so a
// later step ran inside its wait; now it ends at once and the next step
// runs on its own.
TEST(NestedSteps, AnEmptyListStepEndsAtOnceAndTheNextStepRunsAlone) {
  StationRig rig{SmallBbs()};
  PrepareFullRun(rig);
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  for (const KeySpec& key : keys::Field) rig.settings.Set(key, "");
  rig.pilot.Run(AutoCommand::List);
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_FALSE(rig.LogsTakeLines());
  ASSERT_TRUE(rig.pilot.IsEnabled(AutoCommand::Send));

  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Send);
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "SP JA1A\rfirst\r\x1A\rSP JA1B\rsecond\r\x1A\r");
  EXPECT_EQ(rig.Setting(keys::Send[0]), "");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_FALSE(rig.LogOpen());
}

}  // namespace
}  // namespace nami::test
