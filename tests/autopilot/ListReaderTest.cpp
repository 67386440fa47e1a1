// The list step: the commands built from the field settings, one per
// prompt, and the list log.
#include <gtest/gtest.h>

#include "support/StationRig.h"

namespace nami::test {
namespace {

class ListStep : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.settings.Set(keys::LastMailNo, "100");
    rig.settings.Set(keys::LimitLength, "20");
    rig.pilot.Run(AutoCommand::Connect);
    rig.Drain();
    rig.port->sent.clear();
  }
  // Runs the list step by hand and returns what it put on the link.
  std::string Sent() {
    rig.port->sent.clear();
    rig.pilot.Run(AutoCommand::List);
    rig.Drain();
    return rig.port->sent;
  }
  void Fields(std::initializer_list<const char*> values) {
    std::size_t n = 0;
    for (const char* v : values) rig.settings.Set(keys::Field[n++], v);
  }
  StationRig rig{SmallBbs()};
};

TEST_F(ListStep, FieldModeSendsOneCommandPerPrompt) {
  Fields({"LL", "L #", "L # #", "", "L #"});
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::List);
  EXPECT_EQ(rig.port->sent, "LL\r");  // the rest waits for the prompts
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "LL\rL 100\rL 100 120\rL 100\r");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_FALSE(rig.LogsTakeLines());
  EXPECT_FALSE(rig.LogOpen());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
}

TEST_F(ListStep, TemplatesWithSeparatorsAndTheFifthField) {
  Fields({"L #-#", "L #,#", "L # #", "LL", "L # #"});
  rig.settings.Set(keys::LimitModel, "L #,#");
  // The fifth field's "L # #" takes the limit command's form.
  EXPECT_EQ(Sent(), "L 100-120\rL 100,120\rL 100 120\rLL\rL 100,120\r");
  Fields({"", "", "", "", "LC # ALL #"});
  EXPECT_EQ(Sent(), "LC 100 ALL #\r");  // A, and the rest kept as it stands
}

TEST_F(ListStep, LimitModeSendsTheSingleLimitCommand) {
  rig.settings.Set(keys::LimitMode, "TRUE");
  Fields({"LL", "L #", "", "", ""});
  const std::pair<const char*, const char*> cases[] = {{"", "L 100 120\r"},      {"L # #", "L 100 120\r"},
                                                       {"L #-#", "L 100-120\r"}, {"L #,#", "L 100,120\r"},
                                                       {"LIST", "\r"},           {"L #", "L 100\r"}};
  for (const auto& [model, expected] : cases) {
    rig.settings.Set(keys::LimitModel, model);
    EXPECT_EQ(Sent(), expected) << "limitmodel " << model;
  }
  rig.settings.Set(keys::LimitMode, "true");  // only "TRUE" is limit mode
  EXPECT_EQ(Sent(), "LL\rL 100\r");
}

TEST_F(ListStep, LastMailNoAsStored) {
  rig.settings.Set(keys::LastMailNo, "");
  Fields({"L #", "", "", "", "L #"});
  EXPECT_EQ(Sent(), "L \rL 10\r");
  rig.settings.Set(keys::LimitMode, "TRUE");
  EXPECT_EQ(Sent(), "L  20\r");
  // The fifth field's range template takes the limit form, built from D
  // (empty here), not from A; without "#" it goes out as it stands.
  rig.settings.Set(keys::LimitMode, "");
  Fields({"", "", "", "LL", "L # #"});
  EXPECT_EQ(Sent(), "LL\rL  20\r");
  Fields({"", "", "", "", "LIST"});
  EXPECT_EQ(Sent(), "LIST\r");
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::LastMailNo, "   10");
  EXPECT_EQ(Sent(), "L    10 30\r");
  // Blanks kept as stored, in the first four fields (D) and the fifth (A) alike.
  rig.settings.Set(keys::LimitMode, "");
  Fields({"L #", "", "", "", "L #"});
  EXPECT_EQ(Sent(), "L    10\rL    10\r");
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::LastMailNo, "00010");
  rig.settings.Set(keys::LimitLength, "x");
  EXPECT_EQ(Sent(), "L 00010 10\r");
}

TEST_F(ListStep, LogHoldsTheAnswersAndIsEmptiedAtEachStart) {
  rig.Messages({{101, "JA1AAA hello"}});
  Fields({"L #", "", "", "", ""});
  Sent();
  const std::string log = ReadFile(rig.dir.File("list.log"));
  EXPECT_EQ(log,
            "Msg#   TS  Size To     @Route  From   Date        Subject\r\n"
            "101    BN    12 ALL            JA1AAA 261207/0900 hello\r\n\r\nQZ1ABC>\r\n");

  // All fields empty: the log is still emptied, nothing goes out, and the
  // step ends at once (no prompt would ever come).
  Fields({"", "", "", "", ""});
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::List);
  EXPECT_EQ(rig.port->sent, "");
  EXPECT_EQ(ReadFile(rig.dir.File("list.log")), "");
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::Read));
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_FALSE(rig.LogOpen());
}

TEST_F(ListStep, ListLogThatCannotBeCreated) {
  Fields({"L #", "", "", "", ""});
  rig.settings.Set(keys::ListFile, rig.dir.File("no/such/dir/list.log"));
  EXPECT_EQ(Sent(), "");
  EXPECT_EQ(rig.ui.messages,
            std::vector<std::string>{msg::CannotOpenFile + "\n" + rig.dir.File("no/such/dir/list.log") +
                                     ": No such file or directory"});
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_FALSE(rig.LogsTakeLines());
  EXPECT_FALSE(rig.LogOpen());
}

TEST(ListTemplate, Expansion) {
  EXPECT_EQ(ExpandListTemplate("LL", "5", "9"), "LL");
  EXPECT_EQ(ExpandListTemplate("L # tail", "5", "9"), "L 5");
  EXPECT_EQ(ExpandListTemplate("L #-# tail", "5", "9"), "L 5-9");
  EXPECT_EQ(ExpandListTemplate("L ##", "5", "9"), "L 5#9");
  EXPECT_EQ(ExpandListTemplate("L #", "", "9"), "L ");
  EXPECT_EQ(ListUpperBound("   10", "20"), "30");
  EXPECT_EQ(ListUpperBound("", ""), "0");
  EXPECT_EQ(ListUpperBound("-5", "20"), "20");
}

}  // namespace
}  // namespace nami::test
