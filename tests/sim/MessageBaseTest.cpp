#include "sim/MessageBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "support/StationRig.h"
#include "support/TestSupport.h"

namespace nami::sim {
namespace {

TEST(MessageBase, BuiltInBaseHasMixedMessages) {
  CMessageBase base = CMessageBase::BuiltIn();
  const auto& all = base.Messages();
  EXPECT_EQ(all.size(), 30u);
  EXPECT_EQ(base.HighestNumber(), 1230);
  int personal = 0, japanese = 0, longest = 0, withMarks = 0;
  std::vector<std::string> categories;
  for (const auto& [n, m] : all) {
    personal += m.type == 'P';
    bool sjis = std::any_of(m.subject.begin(), m.subject.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x81; });
    japanese += sjis;
    longest = std::max(longest, static_cast<int>(m.body.size()));
    bool marks = false;
    for (const std::string& line : m.body) marks = marks || line.find('>') != std::string::npos || line.find('#') != std::string::npos;
    withMarks += marks;
    if (m.type == 'B' && std::find(categories.begin(), categories.end(), m.to) == categories.end()) categories.push_back(m.to);
  }
  EXPECT_EQ(personal, 5);
  EXPECT_GE(japanese, 10);
  EXPECT_GE(longest, 30);
  EXPECT_GE(withMarks, 5);
  EXPECT_GE(categories.size(), 8u);
  // The built-in text is served in CP932.
  EXPECT_EQ(base.Find(1204)->subject, nami::test::Sjis("関東地方 週末の天気"));
  // Written out as a file and read back, it is the same base.
  std::string error;
  CMessageBase again = CMessageBase::Parse(base.Format(), &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(again.Messages().size(), all.size());
  for (const auto& [n, m] : all) {
    const SMessage* a = again.Find(n);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::tie(a->type, a->status, a->to, a->route, a->from, a->date, a->subject, a->body),
              std::tie(m.type, m.status, m.to, m.route, m.from, m.date, m.subject, m.body));
  }
}

TEST(MessageBase, ParsesAndRejectsFiles) {
  std::string text =
      "# comment\r\n"
      "MSG 7 b n all jpn qz1aaa 260101/0000 Subject with # and >\r\n"
      "END\r\n"
      "\r\n"
      "/EX\r\n"
      "MSG 3 P Y QZ1XYZ - QZ2BBB 260102/1200 Second\n"
      "/EX\n";
  std::string error = "x";
  CMessageBase base = CMessageBase::Parse(text, &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(base.Messages().size(), 2u);
  const SMessage* m = base.Find(7);
  EXPECT_EQ(m->type, 'B');
  EXPECT_EQ(m->status, 'N');
  EXPECT_EQ(m->to, "ALL");
  EXPECT_EQ(m->route, "JPN");
  EXPECT_EQ(m->subject, "Subject with # and >");
  EXPECT_EQ(m->body, (std::vector<std::string>{"END", ""}));
  EXPECT_EQ(m->Size(), 5);
  EXPECT_EQ(base.Find(3)->route, "");
  // New messages go above the highest number ever used, also after a kill.
  EXPECT_TRUE(base.Kill(7));
  EXPECT_EQ(base.Add(SMessage{}), 8);

  for (const char* bad : {"MSG x B N ALL - A 1 s\n/EX\n", "MSG 1 X N ALL - A 1 s\n/EX\n", "HELLO\n",
                          "MSG 1 B N ALL - A 1 s\nbody\n", "MSG 1 B N ALL - A 1 s\n/EX\nMSG 1 B N ALL - A 1 s\n/EX\n"}) {
    CMessageBase::Parse(bad, &error);
    EXPECT_NE(error, "") << bad;
  }
  nami::test::TempDir dir;
  EXPECT_FALSE(CMessageBase::Load(dir.File("none.txt"), &error));
  nami::test::WriteFile(dir.File("bad.txt"), "MSG 1 B N ALL - A 1 s\n");
  EXPECT_FALSE(CMessageBase::Load(dir.File("bad.txt"), &error));
  nami::test::WriteFile(dir.File("good.txt"), text);
  auto loaded = CMessageBase::Load(dir.File("good.txt"), &error);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->Messages().size(), 2u);
}

TEST(Bbs, ServesALoadedBaseUnderItsOwnCallAndPrompt) {
  CMessageBase base = CMessageBase::Parse("MSG 41 B N ALL - QZ2BBB 260101/0000 Only one\nhello\n/EX\n");
  SBbsOptions bbs;
  bbs.call = "qz5bbs";
  bbs.prompt = "[QZ5BBS] =>";
  test::SimLink s(test::FastTnc(), bbs, 0, std::move(base));
  s.Wait("cmd:");
  EXPECT_NE(s.Send("C QZ1ABC\r", "cmd:").find("*** retry count exceeded"), std::string::npos);
  std::string hello = s.Send("C QZ5BBS\r", "=>\r\n");
  EXPECT_NE(hello.find("Welcome to QZ5BBS BBS, QZ1XYZ.\r\nLast message #41, 1 new"), std::string::npos) << hello;
  EXPECT_NE(s.Send("R 41\r", "=>\r\n").find("hello\r\n\r\n[QZ5BBS] =>\r\n"), std::string::npos);
}

}  // namespace
}  // namespace nami::sim
