#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "settings/Settings.h"
#include "sim/DemoPort.h"
#include "support/StationRig.h"
#include "support/TestSupport.h"
#include "text/ShiftJis.h"

namespace nami::sim {
namespace {

using Session = test::SimLink;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string Connect(Session& s) { return s.Send("\x03\rCONNECT QZ1ABC\r", "QZ1ABC BBS>\r\n"); }

TEST(SimPort, ScriptedSession) {
  Session s;
  EXPECT_EQ(s.Wait("cmd:"), "TNC-2 simulator 1.0 (nami-tncsim), MYCALL QZ1XYZ, BBS QZ1ABC\r\ncmd:");

  // The connect text as the autopilot sends it: the echo, then the link, then the BBS.
  std::string connect = Connect(s);
  EXPECT_EQ(connect.find("\r\ncmd:\r\ncmd:CONNECT QZ1ABC\r\n*** CONNECTED to QZ1ABC\r\nWelcome"), 0u) << connect;
  EXPECT_NE(connect.find("\r\n\r\nQZ1ABC BBS>\r\n"), std::string::npos);

  std::vector<std::string> list = Lines(s.Send("LL 5\r", "BBS>\r\n"));
  ASSERT_EQ(list.size(), 8u);
  EXPECT_EQ(list[0].rfind("Msg#", 0), 0u);
  // 1227 is personal mail of another station.
  const long long expected[] = {1230, 1229, 1228, 1226, 1225};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(LeadingNumber(list[1 + i]), expected[i]) << list[1 + i];
  EXPECT_EQ(list[6], "");
  EXPECT_EQ(list[7], "QZ1ABC BBS>");

  std::string mail = s.Send("r 1213\r", "BBS>\r\n");
  EXPECT_NE(mail.find("Subject: Schedule for tonight\r\n\r\nHi, shall we try 7.045 MHz"), std::string::npos) << mail;
  EXPECT_NE(mail.find("73 de QZ2KLM\r\n\r\nQZ1ABC BBS>\r\n"), std::string::npos);

  // A message as a mail file goes out: the command, the title, the text, Ctrl-Z CR.
  EXPECT_NE(s.Send("SB ALL @ JPN\r", "Subject:\r\n").find("Subject:"), std::string::npos);
  std::string title = nami::test::Sjis("テスト送信 #1");
  s.Send(title + "\r", "Ctrl-Z");
  std::string stored = s.Send("first line > quoted\rsecond\x1A\r", "BBS>\r\n");
  EXPECT_NE(stored.find("Message #1231 stored.\r\n\r\nQZ1ABC BBS>\r\n"), std::string::npos) << stored;
  // Exactly one prompt: the CR after Ctrl-Z belongs to the end marker.
  EXPECT_EQ(s.Pump(1000), "");
  const SMessage* m = s.port.Base().Find(1231);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->subject, title);
  EXPECT_EQ(m->to, "ALL");
  EXPECT_EQ(m->route, "JPN");
  EXPECT_EQ(m->from, "QZ1XYZ");
  EXPECT_EQ(m->body, (std::vector<std::string>{"first line > quoted", "second"}));

  std::string bye = s.Send("B\r", "cmd:");
  EXPECT_EQ(bye, "73 de QZ1ABC, thank you for the call, QZ1XYZ.\r\n*** DISCONNECTED\r\ncmd:");
  // The autopilot's disconnect after the bye finds the link already down.
  EXPECT_EQ(s.Send("\x03" "D\r", "cmd:D\r\nNot while disconnected\r\ncmd:"),
            "\r\ncmd:D\r\nNot while disconnected\r\ncmd:");
}

TEST(SimPort, OutputIsReleasedAsTheClockAdvances) {
  Session s;
  s.Wait("cmd:");
  s.port.SendText("C QZ1ABC\r");
  EXPECT_EQ(s.Pump(250), "C QZ1ABC\r\n");  // only the echo before the link is up
  std::string rest = s.Pump(60);
  EXPECT_EQ(rest, "*** CONNECTED to QZ1ABC\r\n");
  EXPECT_NE(s.Wait("BBS>").find("Welcome"), std::string::npos);
  // A list of 30 lines at 10 ms per line takes about 300 ms.
  s.port.SendText("L\r");
  std::string part = s.Pump(150);
  EXPECT_LT(Lines(part).size(), 12u);
  EXPECT_NE(s.Wait("BBS>").find("1201 "), std::string::npos);
}

TEST(SimPort, ListCommands) {
  Session s;
  s.Wait("cmd:");
  Connect(s);
  auto numbers = [&](const std::string& command) {
    std::vector<long long> n;
    for (const std::string& line : Lines(s.Send(command + "\r", "BBS>\r\n")))
      if (LeadingNumber(line) > 0) n.push_back(LeadingNumber(line));
    return n;
  };
  using V = std::vector<long long>;
  EXPECT_EQ(numbers("L 1205-1207"), (V{1207, 1206, 1205}));
  EXPECT_EQ(numbers("L 1205 1207"), (V{1207, 1206, 1205}));
  EXPECT_EQ(numbers("l 1228-"), (V{1230, 1229, 1228}));
  EXPECT_EQ(numbers("L1229-"), (V{1230, 1229}));
  EXPECT_EQ(numbers("L> QZ1XYZ"), (V{1224, 1213, 1207}));
  EXPECT_EQ(numbers("L<QZ5DX"), (V{1225, 1215, 1205}));
  EXPECT_EQ(numbers("LM"), (V{1224, 1213, 1207}));
  // Personal mail of others is neither listed nor readable.
  EXPECT_EQ(numbers("LP"), (V{1224, 1219, 1213, 1207}));
  EXPECT_NE(s.Send("R 1227\r", "BBS>").find("?Message 1227 not found."), std::string::npos);
  EXPECT_EQ(numbers("LB").size(), 25u);
  // List lines never wrap on an 80-column terminal, nor split a character.
  for (const std::string& line : Lines(s.Send("L 1201-\r", "BBS>\r\n"))) {
    EXPECT_LE(line.size(), 79u) << line;
    std::size_t i = 0;
    while (i < line.size()) i += IsLeadByte(line[i]) ? 2 : 1;
    EXPECT_EQ(i, line.size()) << line;
  }
  // A category filter holds until LC *.
  numbers("LC WX");
  EXPECT_EQ(numbers("LB"), (V{1229, 1214, 1204}));
  EXPECT_EQ(numbers("LL 2"), (V{1229, 1224}));  // personal mail is not a category
  numbers("LC *");
  EXPECT_EQ(numbers("LL 2"), (V{1230, 1229}));
  std::string none = s.Send("L 5000-\r", "BBS>\r\n");
  EXPECT_NE(none.find("No messages.\r\n\r\nQZ1ABC BBS>"), std::string::npos);
  for (const char* bad : {"LL", "LL x", "L 12-x", "L> ", "FOO"}) {
    std::vector<std::string> lines = Lines(s.Send(std::string(bad) + "\r", "BBS>\r\n"));
    ASSERT_EQ(lines.size(), 3u) << bad;
    EXPECT_EQ(lines[0][0], '?') << bad;
    EXPECT_EQ(lines[2], "QZ1ABC BBS>");
  }
}

TEST(SimPort, NewMailIsCountedFromTheLastListOfTheUserAndAdvancesOnlyOnBye) {
  Session s;
  s.Wait("cmd:");
  auto listNew = [&] {
    int n = 0;
    for (const std::string& line : Lines(s.Send("L\r", "BBS>\r\n")))
      if (LeadingNumber(line) > 0) ++n;
    return n;
  };
  Connect(s);
  EXPECT_EQ(listNew(), 29);
  s.Send("\x03" "D\r", "DISCONNECTED");  // link dropped without B: nothing is remembered
  EXPECT_EQ(s.port.Bbs().LastListed("QZ1XYZ"), 0);
  Connect(s);
  EXPECT_EQ(listNew(), 29);
  s.Send("B\r", "cmd:");
  EXPECT_EQ(s.port.Bbs().LastListed("QZ1XYZ"), 1230);
  Connect(s);
  EXPECT_EQ(listNew(), 0);
  s.Send("SP QZ1XYZ\rnote to self\rtext\r/ex\r", "stored.\r\n\r\nQZ1ABC BBS>\r\n");
  EXPECT_EQ(listNew(), 1);
  EXPECT_NE(s.Send("K 1231\r", "BBS>\r\n").find("Message #1231 killed."), std::string::npos);
  EXPECT_NE(s.Send("K 1230\r", "BBS>\r\n").find("?Message 1230 is not yours."), std::string::npos);
  EXPECT_EQ(listNew(), 0);
  // Another user has his own count (and sees other personal mail).
  s.Send("B\r", "cmd:");
  s.Send("MYCALL QZ2KLM\r", "cmd:");
  Connect(s);
  EXPECT_EQ(listNew(), 27);
}

TEST(SimPort, LineEnds) {
  for (auto [end, text] : {std::pair{LineEnd::Cr, "\r"}, std::pair{LineEnd::Lf, "\n"}, std::pair{LineEnd::CrLf, "\r\n"}}) {
    STncOptions o = test::FastTnc();
    o.lineEnd = end;
    Session s(o);
    std::string all = s.Wait("cmd:");
    all += s.Send("\x03\rCONNECT QZ1ABC\r", std::string("BBS>") + text);
    all += s.Send("LL 3\r", std::string("BBS>") + text);
    std::string normal;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all.compare(i, std::strlen(text), text) == 0) {
        normal += '|';
        i += std::strlen(text) - 1;
      } else {
        normal += all[i];
      }
    }
    EXPECT_EQ(normal.find_first_of("\r\n"), std::string::npos) << normal;
    EXPECT_NE(normal.find("|QZ1ABC BBS>|Msg#"), std::string::npos) << normal;
  }
}

TEST(SimPort, FailureModes) {
  auto run = [](LinkFailure f, int drop = 0) {
    STncOptions o = test::FastTnc();
    o.failure = f;
    o.dropAfterLines = drop;
    auto s = std::make_unique<Session>(o);
    s->Wait("cmd:");
    s->port.SendText("\x03\rCONNECT QZ1ABC\r");
    return s;
  };
  {
    auto s = run(LinkFailure::Connect);
    std::string got = s->Wait("DISCONNECTED\r\ncmd:", 5000);
    EXPECT_NE(got.find("CONNECT QZ1ABC\r\n*** retry count exceeded\r\n*** DISCONNECTED\r\ncmd:"), std::string::npos)
        << got;
    EXPECT_EQ(got.find("*** CONNECTED"), std::string::npos);
  }
  {
    auto s = run(LinkFailure::Busy);
    EXPECT_NE(s->Wait("DISCONNECTED\r\ncmd:", 5000).find("*** QZ1ABC busy\r\n*** DISCONNECTED\r\ncmd:"), std::string::npos);
  }
  {
    auto s = run(LinkFailure::Silent);
    std::string got = s->Pump(60000);
    EXPECT_EQ(got.substr(got.rfind("cmd:")), "cmd:CONNECT QZ1ABC\r\n");
    // Only the operator's disconnect ends the attempt.
    EXPECT_NE(s->Send("\x03" "D\r", "cmd:D\r\n*** DISCONNECTED\r\ncmd:").find("*** DISCONNECTED"), std::string::npos);
  }
  {
    auto s = run(LinkFailure::DropAfter, 8);  // the greeting is 4 lines; the link fails inside the list
    s->Wait("BBS>");
    std::string got = s->Send("L\r", "cmd:");
    std::vector<std::string> lines = Lines(got);
    ASSERT_EQ(lines.size(), 7u) << got;
    EXPECT_EQ(LeadingNumber(lines[3]), 1228);
    EXPECT_EQ(lines[4], "*** retry count exceeded");
    EXPECT_EQ(lines[5], "*** DISCONNECTED");
    EXPECT_FALSE(s->port.Bbs().InSession());
    EXPECT_EQ(s->Pump(2000), "");
  }
  {
    // A station other than the BBS does not answer.
    Session s;
    s.Wait("cmd:");
    EXPECT_NE(s.Send("C QZ9NOB VIA QZ2DIG\r", "cmd:").find("*** retry count exceeded\r\n*** DISCONNECTED"),
              std::string::npos);
  }
}

// The fault file is read at each connect: the failure changes between
// sessions of one simulator; mute-after keeps the link up and the BBS silent.
TEST(SimPort, TheFaultFileIsReadAtEachConnect) {
  test::TempDir dir;
  STncOptions o = test::FastTnc();
  o.faultFile = dir.File("fault");
  test::WriteFile(o.faultFile, "mute-after:4\n");
  Session s(o);
  s.Wait("cmd:");
  s.port.SendText("\x03\rCONNECT QZ1ABC\r");
  s.Wait("BBS>");
  EXPECT_EQ(s.Send("L\r", "Msg#", 3000).find("Msg#"), std::string::npos) << "the BBS fell silent";
  EXPECT_NE(s.Send("\x03" "D\r", "cmd:D\r\n*** DISCONNECTED\r\ncmd:").find("*** DISCONNECTED"), std::string::npos);

  test::WriteFile(o.faultFile, "busy\n");
  EXPECT_NE(s.Send("CONNECT QZ1ABC\r", "DISCONNECTED\r\ncmd:").find("*** QZ1ABC busy"), std::string::npos);
  test::WriteFile(o.faultFile, "none\n");
  EXPECT_NE(s.Send("CONNECT QZ1ABC\r", "BBS>").find("*** CONNECTED"), std::string::npos);
}

TEST(SimPort, TncCommands) {
  Session s;
  s.Wait("cmd:");
  EXPECT_EQ(s.Send("HELLO\r", "cmd:"), "HELLO\r\n?EH\r\ncmd:");
  EXPECT_EQ(s.Send("ECHO OFF\r", "cmd:"), "ECHO OFF\r\ncmd:");
  EXPECT_EQ(s.Send("MYCALL\r", "cmd:"), "MYCALL QZ1XYZ\r\ncmd:");  // no echo now
  EXPECT_EQ(s.Send("E ON\r", "cmd:"), "\r\ncmd:");
  EXPECT_EQ(s.Send("MY QZ3TST-5\rMY\r", "5\r\ncmd:"), "MY QZ3TST-5\r\ncmd:MY\r\nMYCALL QZ3TST-5\r\ncmd:");
  EXPECT_EQ(s.Send("MY TOOLONGCALL\r", "cmd:"), "MY TOOLONGCALL\r\n?bad callsign\r\ncmd:");
  EXPECT_EQ(s.Send("AB\bC\r", "cmd:"), "AB\b \bC\r\n?EH\r\ncmd:");
  // Back to converse mode after a look at command mode, still connected.
  s.Send("C QZ1ABC-0 V QZ2DIG,QZ3DIG\r", "BBS>\r\n");
  s.Send("\x03", "cmd:");
  EXPECT_NE(s.Send("CONNECT\r", "cmd:").find("Link state is: CONNECTED to QZ1ABC-0 VIA QZ2DIG,QZ3DIG"),
            std::string::npos);
  EXPECT_EQ(s.Send("K\r", "\n"), "K\r\n");
  EXPECT_NE(s.Send("LL 1\r", "BBS>").find("1230 "), std::string::npos);
}

TEST(SimPort, DrainRateHoldsBackWhatIsSent) {
  STncOptions o = test::FastTnc();
  o.echo = false;
  Session s(o, {}, 1000);
  s.Wait("cmd:");
  EXPECT_EQ(s.port.SendText(std::string(1000, 'x')), 1000u);
  EXPECT_EQ(s.port.TransmitQueueCount(), 1000);
  s.clock.AdvanceMs(500);
  EXPECT_EQ(s.port.TransmitQueueCount(), 500);
  s.clock.AdvanceMs(499);
  EXPECT_EQ(s.port.TransmitQueueCount(), 1);
  s.clock.AdvanceMs(1);
  EXPECT_EQ(s.port.TransmitQueueCount(), 0);
  // The queue has a limit, like a driver's.
  EXPECT_EQ(s.port.SendText(std::string(5000, 'x')), CSimPort::kQueueSize);
}

TEST(SimPort, ReopeningIsAPowerCycleButTheBbsKeepsItsMail) {
  Session s;
  s.Wait("cmd:");
  Connect(s);
  s.Send("SP QZ2KLM\rtitle\rtext\x1A\r", "stored.");
  s.port.Close();
  EXPECT_EQ(s.port.SendText("LL 1\r"), 0u);
  EXPECT_EQ(s.Pump(500), "");
  s.port.Open("COM1:9600,n,8,1,n");
  EXPECT_NE(s.Wait("cmd:").find("TNC-2 simulator"), std::string::npos);
  EXPECT_FALSE(s.port.Bbs().InSession());
  EXPECT_NE(s.port.Base().Find(1231), nullptr);
}

TEST(SimPort, RandomBytesInRandomChunksNeverBreakIt) {
  for (unsigned round = 1; round <= 20; ++round) {
    std::mt19937 rng(round);
    STncOptions o = test::FastTnc();
    Session s(o);
    s.Wait("cmd:");
    if (round % 2) Connect(s);  // half of the runs throw the bytes at the BBS
    for (int i = 0; i < 200; ++i) {
      std::string chunk(rng() % 40, '\0');
      for (char& c : chunk) {
        unsigned r = rng() % 10;
        // Mostly command-like text, some control bytes and high bytes.
        c = r < 6 ? "LRSKBCDlr 0123456789-<>@#\r"[rng() % 26] : static_cast<char>(rng() % 256);
        if (c == 0x03 && rng() % 4) c = 'x';
      }
      s.port.SendText(chunk);
      s.Pump(static_cast<int>(rng() % 50));
    }
    s.Pump(120000);
    EXPECT_LT(s.port.Tnc().PendingOutput(), 1u) << round;
    // Whatever happened, the TNC answers a fresh connect.
    std::string got = s.Send("\x03\rD\r\x03\rMYCALL QZ1XYZ\rCONNECT QZ1ABC\r", "BBS>\r\n", 60000);
    EXPECT_NE(got.find("*** CONNECTED to QZ1ABC"), std::string::npos) << round;
    EXPECT_NE(s.Send("LL 1\r", "BBS>\r\n").find("Msg#"), std::string::npos) << round;
  }
}

TEST(DemoPort, FillsTheProfileAndServesAnAutopilotRun) {
  nami::test::TempDir dir;
  CSettings settings(dir.File("NAMI.INI"));
  settings.Set(keys::ReadCom, "RM");
  FillDemoProfile(settings);
  EXPECT_EQ(settings.Raw(keys::Call), "QZ1ABC");
  EXPECT_EQ(settings.Raw(keys::Prompt), "QZ1ABC BBS>");
  EXPECT_EQ(settings.Raw(keys::ReadCom), "RM");  // what the user set stays
  EXPECT_EQ(settings.Raw(keys::Field[0]), "L");
  EXPECT_EQ(settings.Raw(keys::LastMailNo), "1220");

  CManualClock clock;
  std::unique_ptr<IPort> port = MakeDemoPort(clock);
  ASSERT_TRUE(port->Open(settings.Get(keys::ComStatus)));
  std::string got;
  auto until = [&](const std::string& text) {
    for (int t = 0; t < 20000 && got.find(text) == std::string::npos; t += 50) {
      clock.AdvanceMs(50);
      char buf[4096];
      for (std::size_t n; (n = port->ReadAvailable(buf, sizeof buf)) > 0;) got.append(buf, n);
    }
    std::string all;
    all.swap(got);
    return all;
  };
  std::string prompt = settings.Get(keys::Prompt) + "\r\n";
  port->SendText("\x03\rCONNECT " + settings.Get(keys::Call) + "\r");
  until(prompt);
  port->SendText(settings.Get(keys::Field[0]) + "\r");
  int newer = 0;
  for (const std::string& line : Lines(until(prompt)))
    if (LeadingNumber(line) > settings.GetInt(keys::LastMailNo)) ++newer;
  EXPECT_EQ(newer, 9);  // 1221 to 1230 but for personal mail of another station
  port->SendText("R 1221\r");
  std::string mail = until(prompt);
  EXPECT_NE(mail.find("Good luck, and see you on 9600!"), std::string::npos);
  // The prompt text never appears inside a message.
  EXPECT_EQ(mail.find("QZ1ABC BBS>"), mail.size() - prompt.size());
  port->SendText("B\r");
  port->SendText("\x03" "D\r");
  EXPECT_NE(until("Not while disconnected").find("** DISCONNECTED"), std::string::npos);
}

}  // namespace
}  // namespace nami::sim
