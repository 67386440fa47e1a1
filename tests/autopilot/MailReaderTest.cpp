// The mail reading step: which listed mail is read, in which order, and
// what becomes of "LastMailNo" and the mail log.
#include <gtest/gtest.h>

#include "support/StationRig.h"

namespace nami::test {
namespace {

class ReadStep : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.settings.Set(keys::ReadCom, "R");
    rig.pilot.Run(AutoCommand::Connect);
    rig.Drain();
  }
  void ListLog(const std::string& text) { WriteFile(rig.dir.File("list.log"), text); }
  std::string Sent() {
    rig.port->sent.clear();
    rig.pilot.Run(AutoCommand::Read);
    rig.Drain();
    return rig.port->sent;
  }
  StationRig rig{SmallBbs()};
};

TEST_F(ReadStep, BottomUpAboveLastMailNo) {
  ListLog("Msg#  From\r\n  1235 JA1AAA\r\n1234 JA1BBB\r\n1233 JA1CCC\r\nQZ1ABC>\r\n");
  rig.settings.Set(keys::LastMailNo, "1233");
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Read);
  EXPECT_EQ(rig.port->sent, "R 1234\r");  // the next waits for the prompt
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1233");
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "R 1234\rR 1235\r");
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1235");
  EXPECT_FALSE(rig.LogsTakeLines());
  EXPECT_FALSE(rig.LogOpen());
  EXPECT_EQ(ReadFile(rig.dir.File("mail.log")),
            "?Message 1234 not found.\r\n\r\nQZ1ABC>\r\n?Message 1235 not found.\r\n\r\nQZ1ABC>\r\n");
}

TEST_F(ReadStep, SameNumberListedTwiceIsReadTwice) {
  ListLog("12 A\r\nQZ1ABC>\r\n12 A\r\n11 B\r\nQZ1ABC>\r\n");
  rig.settings.Set(keys::LastMailNo, "10");
  EXPECT_EQ(Sent(), "R 11\rR 12\rR 12\r");
}

TEST_F(ReadStep, LastMailNoForms) {
  ListLog("57 A\r\n9 B\r\n");
  rig.settings.Set(keys::LastMailNo, "00010");
  EXPECT_EQ(Sent(), "R 57\r");
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "57");  // plain decimal, no leading zeros

  // Empty: "   10" is written at once, and mail from 11 up is read.
  ListLog("11 A\r\n10 B\r\n");
  rig.settings.Set(keys::LastMailNo, "");
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Read);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "   10");
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "R 11\r");
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "11");

  // Nothing higher listed: the stored text stays as it was.
  ListLog("5 A\r\n");
  rig.settings.Set(keys::LastMailNo, "   10");
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "   10");
}

TEST_F(ReadStep, LimitModeReadsOnlyCategoriesButCountsEveryNumber) {
  ListLog("21 JA news\r\n22 DX info\r\n23 JA chat\r\n30 ALL misc\r\n");
  rig.settings.Set(keys::LastMailNo, "20");
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::Field[0], "JA");
  EXPECT_EQ(Sent(), "R 23\rR 21\r");
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "30");

  // An emptied field keeps its pattern for later steps.
  rig.settings.Set(keys::Field[0], "");
  rig.settings.Set(keys::LastMailNo, "20");
  EXPECT_EQ(Sent(), "R 23\rR 21\r");

  // Field mode does not consult the patterns.
  rig.settings.Set(keys::LimitMode, "");
  rig.settings.Set(keys::LastMailNo, "20");
  EXPECT_EQ(Sent(), "R 30\rR 23\rR 22\rR 21\r");
}

TEST_F(ReadStep, PatternsMatchOnlyAtCharacterStarts) {
  // 0x83 0x41 is one character; "A" inside it must not match.
  ListLog("21 \x83\x41 x\r\n22 A y\r\n");
  rig.settings.Set(keys::LastMailNo, "20");
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::Field[2], "A");
  EXPECT_EQ(Sent(), "R 22\r");
}

TEST_F(ReadStep, ReadCommandAndModeAreReadAfreshForEachMail) {
  ListLog("12 A\r\n11 B\r\n");
  rig.settings.Set(keys::LastMailNo, "10");
  rig.settings.Set(keys::ReadCom, "");
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Read);
  EXPECT_EQ(rig.port->sent, " 11\r");  // an empty command still sends the blank
  rig.settings.Set(keys::ReadCom, "R");
  rig.BbsSays("QZ1ABC>\r");
  rig.Drain();
  EXPECT_EQ(rig.port->sent, " 11\rR 12\r");

  // So is the mode: a line that limit mode passed over is read once it is off.
  ListLog("13 DX\r\n12 JA\r\n");
  rig.settings.Set(keys::LastMailNo, "11");
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::Field[0], "JA");
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Read);
  EXPECT_EQ(rig.port->sent, "R 12\r");
  rig.settings.Set(keys::LimitMode, "");
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "R 12\rR 13\r");
}

TEST_F(ReadStep, MissingOrUnreadableListLogIsAnEmptyList) {
  // A folder opens but cannot be read.
  for (const std::string& list : {rig.dir.File("none.log"), rig.dir.Path()}) {
    SCOPED_TRACE(list);
    rig.settings.Set(keys::ListFile, list);
    rig.settings.Set(keys::LastMailNo, "00010");
    rig.port->sent.clear();
    rig.pilot.Run(AutoCommand::Read);
    EXPECT_EQ(rig.port->sent, "");
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_FALSE(rig.pilot.Busy());  // at once: nothing was asked
    EXPECT_EQ(rig.Setting(keys::LastMailNo), "00010");
    EXPECT_TRUE(rig.ui.messages.empty());
  }
}

TEST_F(ReadStep, MailLogIsAppendedTo) {
  WriteFile(rig.dir.File("mail.log"), "earlier\r\n");
  ListLog("11 A\r\n");
  rig.Messages({{11, "x"}});
  rig.settings.Set(keys::LastMailNo, "10");
  Sent();
  EXPECT_EQ(ReadFile(rig.dir.File("mail.log")), "earlier\r\n" + ReadAnswer(11, "x", ""));
}

TEST_F(ReadStep, MailLogThatCannotBeCreated) {
  ListLog("11 A\r\n");
  rig.settings.Set(keys::LastMailNo, "10");
  rig.settings.Set(keys::MailFile, rig.dir.File("missing/mail.log"));
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(rig.ui.messages, std::vector<std::string>{msg::CannotOpenFile + "\n" + rig.dir.File("missing/mail.log") +
                                                      ": No such file or directory"});
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_FALSE(rig.LogsTakeLines());
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "10");
  EXPECT_FALSE(FileExists(rig.dir.File("missing/mail.log")));
}

TEST_F(ReadStep, LongListLinesAreTakenInPiecesOf95Bytes) {
  ListLog(std::string(95, 'x') + "12\r\n" + std::string(10, 'y') + "\r\n" + std::string(94, 'v') + "\r\n" +
          std::string(95, 'w') + "\r\n");
  rig.settings.Set(keys::LastMailNo, "100");
  Sent();
  // The line feed counts towards the 95 bytes of a piece.
  const std::vector<std::string> expected = {std::string(95, 'x'),        "12\n",
                                             std::string(10, 'y') + "\n", std::string(94, 'v') + "\n",
                                             std::string(95, 'w'),        "\n"};
  EXPECT_EQ(rig.pilot.MailReader().ListLines, expected);
}

}  // namespace
}  // namespace nami::test
