// The read output of real BBS programs through the recognisers: F6FBB as
// Debian's fbb printed it on loopback (tests/data/mailbox, recorded by
// scripts/record-fbb), BPQ/LinBPQ and JNOS as their sources print it, and
// the built-in simulator as it answers now.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailbox/Import.h"
#include "mailbox/MailStore.h"
#include "mailbox/Recognise.h"
#include "sim/Bbs.h"
#include "sim/MessageBase.h"
#include "support/TestSupport.h"
#include "text/Cp932.h"

namespace nami::mailbox {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

std::string SimulatorRead(int number) {
  sim::CMessageBase base = sim::CMessageBase::BuiltIn();
  sim::CBbs bbs(base);
  bbs.Connect("QZ1XYZ", 0);
  std::string text;
  for (const std::string& line : bbs.Receive("R " + std::to_string(number) + "\r", 0)) text += line + "\r\n";
  return text;
}

// The messages of a whole transcript: cut at the prompt like the importer.
std::vector<SParsedMessage> Parse(const std::string& transcript, const std::string& prompt) {
  std::vector<std::vector<std::string>> answers(1);
  for (const std::string& line : SplitLines(transcript)) {
    if (IsPromptLine(line, prompt)) answers.emplace_back();
    else answers.back().push_back(line);
  }
  std::vector<SParsedMessage> out;
  for (const auto& answer : answers)
    for (const auto& m : SplitReadAnswer(answer)) {
      SParsedMessage p = ParseMessage(m);
      if (!p.format.empty()) out.push_back(p);
    }
  return out;
}

struct Case {
  const char* name;
  std::string transcript;  // CP932, as logged
  std::string prompt;
  std::size_t index;       // which message of the transcript
  const char* format;
  long long number;
  const char* from;
  const char* to;
  const char* at;
  const char* subject;  // UTF-8
  const char* firstBody;
  const char* lastBody;
};

std::string Data(const char* name) { return test::ReadFile(std::string(NAMI_TEST_DATA "/mailbox/") + name); }

TEST(Recognisers, ReadOutputOfEachBbsProgram) {
  const std::string bpq = test::Sjis(
      "From: QZ2KLM\r\nTo: QZ1XYZ\r\nType/Status: PN\r\nDate/Time: 07-Dec 21:40Z\r\nBid: 4711_QZ2BPQ\r\n"
      "Title: 週末の移動運用\r\n\r\n土曜日は高尾山から 430MHz で運用します。\r\n73\r\n\r\n"
      "[End of Message #4711 from QZ2KLM]\r\nde QZ2BPQ>\r\n");
  // BPQ versions before the colon: "Type/Status BN", and a bulletin with a route.
  const std::string bpqOld =
      "From: G8BPQ\r\nTo: ALL@WW\r\nType/Status BN\r\nDate/Time: 01-Jan 10:00Z\r\nBid: 12_GB7BPQ\r\n"
      "Title: Node news\r\nNew ports this week.\r\n\r\n[End of Message #12 from G8BPQ]\r\nde GB7BPQ>\r\n";
  const std::string jnos = test::Sjis(
      "Message #3 \r\nDate: Mon, 07 Dec 2026 21:40:00 JST\r\nMessage-Id: <4711@qz2jns.ampr.org>\r\n"
      "From: qz2klm@qz2jns.ampr.org\r\nTo: qz1xyz@qz2jns.ampr.org\r\nSubject: 日曜日のロールコール\r\n\r\n"
      "21時から 145.10MHz です。\r\n\r\nArea: qz1xyz Current msg# 3.\r\n");
  const std::vector<Case> cases = {
      {"simulator, Japanese bulletin", SimulatorRead(1203), "QZ1ABC BBS>", 0, "sim", 1203, "QZ3ABD", "SALE", "JPN",
       "売ります: 144MHz FMトランシーバー", "ハンディ機 1台、付属品一式（充電器、アンテナ）。", "連絡は QZ3ABD @QZ1ABC まで。"},
      {"simulator, personal", SimulatorRead(1207), "QZ1ABC BBS>", 0, "sim", 1207, "QZ4OLD", "QZ1XYZ", "",
       "Re: 先日の交信", "先日は144MHzでの交信ありがとうございました。", nullptr},
      {"F6FBB, the newest read first", Data("fbb-session.log"), "", 0, "fbb", 102, "QZ1OP", "QZ1XYZ", "",
       "Packet radio basics", "Packet radio sends data in short frames.", "Type CONNECT and a call to start."},
      {"F6FBB, Japanese", Data("fbb-session.log"), "", 1, "fbb", 101, "QZ1OP", "QZ1XYZ", "", "週末の移動運用",
       "土曜日は高尾山から 430MHz で運用します。", "73"},
      {"BPQ, personal in Japanese", bpq, "de QZ2BPQ>", 0, "bpq", 4711, "QZ2KLM", "QZ1XYZ", "", "週末の移動運用",
       "土曜日は高尾山から 430MHz で運用します。", "73"},
      {"BPQ, older header", bpqOld, ">", 0, "bpq", 12, "G8BPQ", "ALL", "WW", "Node news", "New ports this week.",
       "New ports this week."},
      {"JNOS", jnos, "Current msg#", 0, "jnos", 3, "qz2klm", "qz1xyz", "qz2jns.ampr.org", "日曜日のロールコール",
       "21時から 145.10MHz です。", "21時から 145.10MHz です。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.transcript.empty());
    const std::vector<SParsedMessage> messages = Parse(c.transcript, c.prompt);
    ASSERT_GT(messages.size(), c.index);
    const SParsedMessage& m = messages[c.index];
    EXPECT_EQ(m.format, c.format);
    EXPECT_EQ(m.number, c.number);
    EXPECT_EQ(m.from, c.from);
    EXPECT_EQ(m.to, c.to);
    EXPECT_EQ(m.at, c.at);
    EXPECT_EQ(Cp932ToUtf8(m.subject), c.subject);
    ASSERT_FALSE(m.bodyLines.empty());
    EXPECT_EQ(Cp932ToUtf8(m.bodyLines.front()), c.firstBody);
    if (c.lastBody) {
      EXPECT_EQ(Cp932ToUtf8(m.bodyLines.back()), c.lastBody);
    }
    for (const std::string& line : m.bodyLines) {
      EXPECT_EQ(line.find("End of"), std::string::npos) << line;
      EXPECT_EQ(line.find("has been read"), std::string::npos) << line;
    }
  }
}

TEST(Recognisers, ListLinesOfTheBbsPrograms) {
  const struct {
    std::string line;
    long long number;
    const char *type, *status;
    long long size;
    const char *to, *at, *from, *date, *subject;
  } cases[] = {
      // F6FBB as recorded; the simulator; BPQ with the route joined to the call.
      {"102    PNL    117 QZ1XYZ        QZ1OP  1208/0819 Packet radio basics", 102, "P", "N", 117, "QZ1XYZ", "",
       "QZ1OP", "1208/0819", "Packet radio basics"},
      {test::Sjis("1203   BY   321 SALE   @JPN    QZ3ABD 261202/2015 売ります: 144MHz"), 1203, "B", "Y", 321, "SALE",
       "JPN", "QZ3ABD", "261202/2015", "売ります: 144MHz"},
      {"4711   BN    1024 ALL@WW  G8BPQ  07-Dec Node news", 4711, "B", "N", 1024, "ALL", "WW", "G8BPQ", "07-Dec",
       "Node news"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SListEntry e;
    ASSERT_TRUE(ParseListLine(c.line, e));
    EXPECT_EQ(e.number, c.number);
    EXPECT_EQ(e.type, c.type);
    EXPECT_EQ(e.status, c.status);
    EXPECT_EQ(e.size, c.size);
    EXPECT_EQ(e.to, c.to);
    EXPECT_EQ(e.at, c.at);
    EXPECT_EQ(e.from, c.from);
    EXPECT_EQ(e.date, c.date);
    EXPECT_EQ(Cp932ToUtf8(e.subject), c.subject);
  }
  SListEntry e;
  for (const char* no : {"Msg#   TSLD  Size To    @Route  From   Date/Time Subject", "(1) QZ1BBS BBS (H for help) >",
                         "You have 2 new (unread) message(s).", ""})
    EXPECT_FALSE(ParseListLine(no, e)) << no;
}

TEST(Recognisers, AnUnknownFormatIsStillAMessage) {
  const std::vector<std::string> lines = {"", test::Sjis("なにかの掲示板の出力"), "second line", ""};
  const SParsedMessage m = ParseMessage(lines);
  EXPECT_EQ(m.format, "");
  EXPECT_EQ(m.bodyLines.size(), 2u);
}

}  // namespace
}  // namespace nami::mailbox
