// Whole autopilot runs against the simulated TNC2 and BBS: in process with a
// manual clock, with each kind of link failure, on the schedule, and once
// through a pseudo-terminal served by nami-tncsim.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "sim/PtyServer.h"
#include "support/FileFaults.h"
#include "support/StationRig.h"
#include "text/ShiftJis.h"

namespace nami::test {
namespace {

using sim::LinkFailure;

const std::string kConnect = "\x03\rCONNECT QZ1ABC\r";
const std::string kBye =
    "B\r\x03"
    "D\r";

// A mail file of three lines; its title is Japanese and holds a character
// whose second byte is a backslash (表 is 0x95 0x5C).
struct MailFile {
  explicit MailFile(const TempDir& dir) : path(dir.File("mail1.txt")) {
    WriteFile(path, "SP QZ2KLM\r\n" + title + "\r\n" + body + "\r\n");
  }
  // What goes out on the link: each line ended by CR, then Ctrl-Z and CR.
  std::string Bytes() const { return "SP QZ2KLM\r" + title + "\r" + body + "\r\x1A\r"; }
  std::string path;
  std::string title = Sjis("表示テスト 試験メール");
  std::string body = "Hello from nami.";
};

// Mail numbers of the list log's lines, from the bottom up, above `above`.
std::vector<int> NewNumbersBottomUp(const std::string& log, int above) {
  std::vector<int> numbers;
  for (std::size_t p = 0; p < log.size();) {
    std::size_t e = log.find('\n', p);
    if (e == std::string::npos) e = log.size();
    int n = static_cast<int>(LeadingNumber(std::string_view(log).substr(p, e - p)));
    if (n > above) numbers.insert(numbers.begin(), n);
    p = e + 1;
  }
  return numbers;
}

std::string ReadCommands(const std::vector<int>& numbers) {
  std::string s;
  for (int n : numbers) s += "R " + std::to_string(n) + "\r";
  return s;
}

// Every line of a log file ends with CR LF, and nothing else holds CR or LF.
void ExpectCrLfLines(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::size_t bare = std::string::npos;
  for (std::size_t i = 0; i < text.size() && bare == std::string::npos; ++i) {
    if ((text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ||
        (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')))
      bare = i;
  }
  EXPECT_EQ(bare, std::string::npos) << "a CR or LF outside a CR LF pair";
}

// The mail log holds each message's subject and text, in reading order.
void ExpectMailsLogged(sim::CMessageBase& base, const std::string& log, const std::vector<int>& numbers) {
  std::size_t at = 0;
  for (int n : numbers) {
    const sim::SMessage* m = base.Find(n);
    ASSERT_NE(m, nullptr) << n;
    std::string text = "Msg# " + std::to_string(n) + " ";
    std::size_t head = log.find(text, at);
    ASSERT_NE(head, std::string::npos) << "message " << n << " missing or out of order";
    std::string expected = "Subject: " + m->subject + "\r\n\r\n";
    for (const std::string& line : m->body) expected += line + "\r\n";
    expected += "\r\nQZ1ABC BBS>\r\n";
    std::size_t body = log.find(expected, head);
    EXPECT_NE(body, std::string::npos) << "text of message " << n;
    at = head + 1;
  }
}

class SimulatorRun : public ::testing::Test {
 protected:
  void QueueMail() { rig.settings.Set(keys::Send[0], mail.path); }
  std::string ListLog() { return ReadFile(rig.dir.File("list.log")); }
  std::string MailLog() { return ReadFile(rig.dir.File("mail.log")); }
  void ExpectIdleAndEnabled() {
    EXPECT_FALSE(rig.pilot.Busy());
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::List));
    EXPECT_FALSE(rig.LogOpen());
    EXPECT_FALSE(rig.LogsTakeLines());  // a line arriving now reaches neither log
    EXPECT_TRUE(rig.doc.Sending().Idle());
  }

  // 120 bytes a second, about a 1200 bps radio link: the mail file is
  // paced by the port's transmit queue.
  StationRig rig{{}, 120};
  MailFile mail{rig.dir};
};

TEST_F(SimulatorRun, FieldModeRunSendsListsReadsAndASecondRunFindsNothingNew) {
  QueueMail();
  ASSERT_EQ(rig.Setting(keys::LastMailNo), "1220");
  rig.pilot.Run(AutoCommand::AutoMode);
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome)) << rig.pilot.LastEnd().reason;
  ExpectIdleAndEnabled();

  // The BBS has stored the mail under its next number.
  const sim::SMessage* stored = rig.Base().Find(1231);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->to, "QZ2KLM");
  EXPECT_EQ(stored->from, "QZ1XYZ");
  EXPECT_EQ(stored->subject, mail.title);
  EXPECT_EQ(stored->body, std::vector<std::string>{mail.body});
  EXPECT_EQ(rig.port->bytesIntoBusyQueue, 0);
  for (const KeySpec& key : keys::Send) EXPECT_EQ(rig.Setting(key), "") << key.name;

  // The list log: the answer to "L", every listed message on a line of its own.
  const std::string list = ListLog();
  ExpectCrLfLines(list);
  EXPECT_EQ(list.rfind("\r\nQZ1ABC BBS>\r\n"), list.size() - 15);
  EXPECT_NE(list.find("Msg#   TS  Size To"), std::string::npos);
  for (const auto& [number, m] : rig.Base().Messages()) {
    const bool visible = m.type == 'B' || m.to == "QZ1XYZ" || m.from == "QZ1XYZ";
    EXPECT_EQ(list.find("\r\n" + std::to_string(number) + " ") != std::string::npos, visible) << number;
  }

  // Everything above 1220 is read, from the bottom of the list up; the
  // personal message between two other stations is not listed, so not read.
  const std::vector<int> read = NewNumbersBottomUp(list, 1220);
  EXPECT_EQ(read, (std::vector<int>{1221, 1222, 1223, 1224, 1225, 1226, 1228, 1229, 1230, 1231}));
  EXPECT_EQ(rig.port->sent, kConnect + mail.Bytes() + "L\r" + ReadCommands(read) + kBye);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1231");

  const std::string mails = MailLog();
  ExpectCrLfLines(mails);
  ExpectMailsLogged(rig.Base(), mails, read);
  EXPECT_EQ(mails.find("Msg# 1220 "), std::string::npos);
  EXPECT_EQ(rig.Base().Find(1221)->status, 'Y');
  EXPECT_TRUE(rig.ui.messages.empty());

  // A second run, once the TNC has reported the end of the link: nothing
  // queued, nothing new on the list, nothing read.
  rig.RunFor(3000);
  EXPECT_NE(rig.doc.Lines().LastLine().find("Not while disconnected"), std::string::npos) << rig.doc.Lines().LastLine();
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  EXPECT_EQ(rig.port->sent, kConnect + "L\r" + kBye);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1231");
  EXPECT_EQ(MailLog(), mails);  // appended to only, and nothing came
  EXPECT_NE(ListLog().find("No messages."), std::string::npos);
  ExpectIdleAndEnabled();
}

TEST_F(SimulatorRun, LimitModeListsARangeAndReadsOnlyTheChosenCategories) {
  rig.settings.Set(keys::LimitMode, "TRUE");
  rig.settings.Set(keys::LimitModel, "L #-#");
  rig.settings.Set(keys::LimitLength, "6");
  rig.settings.Set(keys::Field[0], "DX");
  rig.settings.Set(keys::Field[1], "TECH");
  rig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));

  // 1220 to 1226 are listed; 1225 (DX) and 1221 (TECH) are read; 1226 is
  // not read but still raises the last mail number.
  const std::string list = ListLog();
  ExpectCrLfLines(list);
  for (int n : {1220, 1221, 1222, 1223, 1224, 1225, 1226})
    EXPECT_NE(list.find("\r\n" + std::to_string(n) + " "), std::string::npos) << n;
  EXPECT_EQ(list.find("\r\n1228 "), std::string::npos);
  EXPECT_EQ(rig.port->sent, kConnect + "L 1220-1226\rR 1221\rR 1225\r" + kBye);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1226");
  const std::string mails = MailLog();
  ExpectCrLfLines(mails);
  ExpectMailsLogged(rig.Base(), mails, {1221, 1225});
  for (int n : {1222, 1223, 1224, 1226}) EXPECT_EQ(mails.find("Msg# " + std::to_string(n)), std::string::npos) << n;
  ExpectIdleAndEnabled();
}

TEST_F(SimulatorRun, CrOnlyLineEndsWithSerialYes) {
  sim::STncOptions tnc;
  tnc.lineEnd = sim::LineEnd::Cr;
  StationRig crRig(tnc, 120);
  crRig.settings.Set(keys::Serial, "yes");
  MailFile crMail(crRig.dir);
  crRig.settings.Set(keys::Send[0], crMail.path);
  crRig.pilot.Run(AutoCommand::AutoMode);
  ASSERT_TRUE(crRig.RunUntilIdle());
  EXPECT_TRUE(IsCompleted(crRig.pilot.LastEnd().outcome));
  EXPECT_EQ(crRig.Setting(keys::LastMailNo), "1231");
  // The logs get CR LF whatever the link's line end.
  ExpectCrLfLines(ReadFile(crRig.dir.File("list.log")));
  const std::string mails = ReadFile(crRig.dir.File("mail.log"));
  ExpectCrLfLines(mails);
  ExpectMailsLogged(crRig.Base(), mails, {1221, 1222, 1223, 1224, 1225, 1226, 1228, 1229, 1230, 1231});
}

// Each failure of the link: the run stops where it is, sends no log-off,
// keeps what has not been done and leaves the commands enabled.
TEST(SimulatorFailure, TheRunStopsWithoutLoggingOff) {
  struct Case {
    const char* name;
    LinkFailure failure;
    int dropAfter;
    const char* stage;  // the step the link fails in
  };
  const Case cases[] = {
      {"connect", LinkFailure::Connect, 0, "connect"},
      {"busy", LinkFailure::Busy, 0, "connect"},
      {"drop-after:2", LinkFailure::DropAfter, 2, "connect"},  // in the greeting
      {"drop-after:5", LinkFailure::DropAfter, 5, "send"},     // after "Subject:"
      {"drop-after:20", LinkFailure::DropAfter, 20, "list"},
      {"drop-after:50", LinkFailure::DropAfter, 50, "read"},  // in the text of 1221
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::STncOptions tnc;
    tnc.failure = c.failure;
    tnc.dropAfterLines = c.dropAfter;
    StationRig rig(tnc);
    MailFile mail(rig.dir);
    rig.settings.Set(keys::Send[0], mail.path);
    rig.pilot.Run(AutoCommand::AutoMode);
    ASSERT_TRUE(rig.RunUntilIdle(120000));
    rig.RunFor(5000);  // nothing more goes out afterwards

    EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
    EXPECT_FALSE(rig.pilot.State().Running());
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_FALSE(rig.LogOpen());
    EXPECT_TRUE(rig.doc.Sending().Idle());
    EXPECT_EQ(rig.Setting(keys::LastMailNo), "1220");
    const std::string& sent = rig.port->sent;
    EXPECT_EQ(sent.find("B\r"), std::string::npos) << sent;

    const std::string stage = c.stage;
    if (stage == "connect") {
      EXPECT_EQ(sent, kConnect);
    } else if (stage == "send") {
      // The file stops part way; its end marker still goes out.
      EXPECT_EQ(sent.substr(0, kConnect.size() + 10), kConnect + "SP QZ2KLM\r");
      EXPECT_EQ(sent.substr(sent.size() - 2), "\x1A\r");
      EXPECT_LE(sent.size(), kConnect.size() + mail.Bytes().size());
      EXPECT_EQ(rig.Base().Find(1231), nullptr);
    } else if (stage == "list") {
      EXPECT_EQ(sent, kConnect + mail.Bytes() + "L\r");
      const std::string list = ReadFile(rig.dir.File("list.log"));
      EXPECT_NE(list.find("*** DISCONNECTED\r\n"), std::string::npos);
      EXPECT_EQ(list.find("QZ1ABC BBS>"), std::string::npos);
    } else {
      EXPECT_EQ(sent, kConnect + mail.Bytes() + "L\rR 1221\r");
      EXPECT_NE(ReadFile(rig.dir.File("mail.log")).find("Msg# 1221 "), std::string::npos);
    }
    // The queue is emptied only by a send step that completed.
    const bool mailSent = stage == "list" || stage == "read";
    EXPECT_EQ(rig.Setting(keys::Send[0]), mailSent ? "" : mail.path);
    EXPECT_EQ(rig.Base().Find(1231) != nullptr, mailSent);
  }
}

// The link lost after any number of BBS lines, in any step: the run always
// ends, never logs off, closes its files and leaves LastMailNo alone; the
// queue is emptied only once the BBS has stored the mail.
TEST(SimulatorFailure, ALinkLostAfterAnyLineEndsTheRun) {
  int n = 0;
  for (;; ++n) {
    SCOPED_TRACE("drop-after:" + std::to_string(n));
    sim::STncOptions tnc;
    tnc.failure = LinkFailure::DropAfter;
    tnc.dropAfterLines = n;
    StationRig rig(tnc, 120);
    MailFile mail(rig.dir);
    rig.settings.Set(keys::Send[0], mail.path);
    rig.pilot.Run(AutoCommand::AutoMode);
    ASSERT_TRUE(rig.RunUntilIdle(120000)) << rig.pilot.StatusText();
    if (IsCompleted(rig.pilot.LastEnd().outcome)) break;  // the whole run fits in n lines
    EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
    EXPECT_EQ(rig.port->sent.find("B\r"), std::string::npos);
    EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
    EXPECT_FALSE(rig.LogOpen());
    EXPECT_TRUE(rig.doc.Sending().Idle());
    EXPECT_EQ(rig.Setting(keys::LastMailNo), "1220");
    if (rig.Setting(keys::Send[0]).empty()) {
      EXPECT_NE(rig.Base().Find(1231), nullptr);
    }
    if (HasFailure()) break;
  }
  // Connect, send, list and every read came before the run could complete.
  EXPECT_GT(n, 150);
}

TEST(SimulatorFailure, ASilentLinkWaitsUntilTheEndCommand) {
  sim::STncOptions tnc;
  tnc.failure = LinkFailure::Silent;
  StationRig rig(tnc);
  MailFile mail(rig.dir);
  rig.settings.Set(keys::Send[0], mail.path);
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.RunFor(180000);  // no time-out
  EXPECT_TRUE(rig.pilot.Busy());
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::End));
  EXPECT_EQ(rig.port->sent, kConnect);

  rig.pilot.Run(AutoCommand::End);
  EXPECT_FALSE(rig.pilot.Busy());
  rig.RunFor(5000);
  EXPECT_EQ(rig.port->sent, kConnect + kBye);
  EXPECT_TRUE(IsAborted(rig.pilot.LastEnd().outcome));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1220");
  EXPECT_EQ(rig.Setting(keys::Send[0]), mail.path);
}

// "min" = 1: the minute timer starts a run on its own, and the next one a
// minute after the minute it was triggered in.
TEST(SimulatorSchedule, RunsStartOnTheirOwnEveryMinute) {
  StationRig rig;
  rig.settings.Set(keys::Min, "1");
  rig.RunFor(StationRig::kScheduleMs);  // the first tick only sets the target
  const int first = LocalTime(rig.clock.Now()).tm_min;
  EXPECT_EQ(rig.pilot.NextRunMinute(), (first + 1) % 60);
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_EQ(rig.port->sent, "");

  rig.RunFor(StationRig::kScheduleMs);
  ASSERT_TRUE(rig.pilot.Busy());
  EXPECT_EQ(rig.pilot.NextRunMinute(), (first + 2) % 60);
  ASSERT_TRUE(rig.RunUntilIdle(StationRig::kScheduleMs - 1000));
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  const std::vector<int> read = NewNumbersBottomUp(ReadFile(rig.dir.File("list.log")), 1220);
  EXPECT_EQ(read.size(), 9u);
  EXPECT_EQ(rig.port->sent, kConnect + "L\r" + ReadCommands(read) + kBye);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1230");

  // The next minute's run finds nothing new.
  rig.port->sent.clear();
  while (!rig.pilot.Busy() && LocalTime(rig.clock.Now()).tm_min != (first + 3) % 60) rig.Cycle();
  ASSERT_TRUE(rig.pilot.Busy());
  ASSERT_TRUE(rig.RunUntilIdle());
  EXPECT_EQ(rig.port->sent, kConnect + "L\r" + kBye);
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1230");
}

// A connect that takes 90 s: the trigger in the next minute comes while the
// run still waits and is ignored; the target moves on all the same.
TEST(SimulatorSchedule, ATriggerDuringALongRunIsIgnored) {
  sim::STncOptions tnc;
  tnc.connectDelayMs = 90000;
  StationRig rig(tnc);
  rig.settings.Set(keys::Min, "1");
  rig.RunFor(2 * StationRig::kScheduleMs);
  const int started = LocalTime(rig.clock.Now()).tm_min;
  ASSERT_TRUE(rig.pilot.Busy());
  rig.RunFor(StationRig::kScheduleMs);
  EXPECT_TRUE(rig.pilot.Busy());
  EXPECT_EQ(rig.port->sent, kConnect);  // no second run
  EXPECT_EQ(rig.pilot.NextRunMinute(), (started + 2) % 60);
  ASSERT_TRUE(rig.RunUntilIdle(StationRig::kScheduleMs - 1000));
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  EXPECT_EQ(rig.Setting(keys::LastMailNo), "1230");
  // The next trigger, in the minute after, starts the next run.
  rig.port->sent.clear();
  while (!rig.pilot.Busy() && rig.clock.MonotonicMs() < 10 * StationRig::kScheduleMs) rig.Cycle();
  EXPECT_EQ(LocalTime(rig.clock.Now()).tm_min, (started + 2) % 60);
  EXPECT_EQ(rig.port->sent, kConnect);
}

// ---- Over a pseudo-terminal, with real time ----

class TncsimProcess {
 public:
  TncsimProcess(const std::string& link, const std::string& log) {
    const std::string exe = std::string(NAMI_BINARY_DIR) + "/nami-tncsim";
    if (::access(exe.c_str(), X_OK) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::execl(exe.c_str(), exe.c_str(), "--link", link.c_str(), "--log", log.c_str(), "--connect-delay", "100",
              "--line-delay", "2", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    struct stat st {};
    for (int i = 0; i < 250 && pid_ > 0 && ::lstat(link.c_str(), &st) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ready_ = pid_ > 0 && ::lstat(link.c_str(), &st) == 0;
  }
  ~TncsimProcess() { Stop(); }
  bool Ready() const { return ready_; }
  // SIGTERM and wait; true when it exited normally.
  bool Stop() {
    if (pid_ <= 0) return false;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

// The bytes of a --log file, in order (events and time stamps left out).
std::string LoggedBytes(const std::string& log) {
  std::string bytes;
  for (std::size_t p = 0; p < log.size();) {
    std::size_t e = log.find('\n', p);
    if (e == std::string::npos) e = log.size();
    std::string line = log.substr(p, e - p);
    p = e + 1;
    if (line.empty() || line[0] == '#') continue;
    bytes += line.substr(line.find(' ') + 1);
  }
  return bytes;
}

// A station on the real serial port named "COM2" in `settings`, opened as
// the shell opens it, and driven as the shell drives it by the real clock.
struct SerialStation {
  explicit SerialStation(CSettings& settings)
      : station(settings, clock, false), doc(station.Doc()), pilot(station.Autopilot()) {
    station.SetEvents(&ui);
    station.NewDocument();
  }
  // Station ticks and sender steps every 5 ms until `until` holds or `ms`
  // have passed.
  void CycleFor(int ms, const std::function<bool()>& until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!until() && std::chrono::steady_clock::now() < deadline) {
      station.Tick();
      for (int i = 0; i < 16 && doc.Sending().Step(); ++i) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  RecordingShell ui;
  CSystemClock clock;
  CStation station;
  CNamiDoc& doc;
  CAutopilot& pilot;
};

TEST(SimulatorPty, ACompleteRunThroughTheSerialPort) {
  TempDir dir;
  const std::string link = dir.File("tnc");
  const std::string logPath = dir.File("log");
  TncsimProcess tncsim(link, logPath);
  if (!tncsim.Ready()) GTEST_SKIP() << "nami-tncsim is not available";

  CSettings settings(dir.File("NAMI.INI"));
  FillDemoProfile(settings);
  settings.Set(keys::ListFile, dir.File("list.log"));
  settings.Set(keys::MailFile, dir.File("mail.log"));
  ASSERT_TRUE(settings.SetDevicePath("COM2", link));
  MailFile mail(dir);
  settings.Set(keys::Send[0], mail.path);
  SerialStation st(settings);
  RecordingShell& ui = st.ui;
  CNamiDoc& doc = st.doc;
  CAutopilot& pilot = st.pilot;
  ASSERT_TRUE(doc.Port()->IsOpen()) << link;

  pilot.Run(AutoCommand::AutoMode);
  st.CycleFor(15000, [&] { return !pilot.Busy(); });
  ASSERT_FALSE(pilot.Busy()) << "the run did not end in time; last line: " << doc.Lines().LastLine();
  EXPECT_TRUE(IsCompleted(pilot.LastEnd().outcome)) << pilot.LastEnd().reason;
  // The TNC's answer to the disconnect shows that it has read everything.
  bool answered = false;
  st.CycleFor(15000, [&] {
    for (std::size_t i = doc.Lines().LineCount(); i-- > 0 && i + 5 >= doc.Lines().LineCount();)
      answered = answered || doc.Lines().LineAt(i).find("Not while disconnected") != std::string::npos;
    return answered;
  });
  EXPECT_TRUE(answered);
  doc.ClosePort();
  EXPECT_TRUE(tncsim.Stop());

  const std::vector<int> read = NewNumbersBottomUp(ReadFile(dir.File("list.log")), 1220);
  EXPECT_EQ(read.size(), 10u);
  EXPECT_EQ(LoggedBytes(ReadFile(logPath)),
            sim::CPtyServer::EscapeBytes(kConnect + mail.Bytes() + "L\r" + ReadCommands(read) + kBye));
  EXPECT_EQ(settings.Raw(keys::LastMailNo), "1231");
  EXPECT_EQ(settings.Raw(keys::Send[0]), "");
  ExpectCrLfLines(ReadFile(dir.File("mail.log")));
  EXPECT_FALSE(StationRig::HeldOpen(dir.File("mail.log")));
  EXPECT_FALSE(StationRig::HeldOpen(dir.File("list.log")));
  EXPECT_TRUE(ui.messages.empty());
}

// Through the real serial port and nami-tncsim, run after run: with the
// settings unwritable nothing is posted; with the mail log on a full disk
// "LastMailNo" stays; once the disk is fixed the BBS gets the mail once and
// every message is logged.
TEST(SimulatorPty, FullDisksLoseNoMailOverRepeatedRuns) {
  TempDir dir;
  const std::string link = dir.File("tnc");
  const std::string logPath = dir.File("log");
  TncsimProcess tncsim(link, logPath);
  if (!tncsim.Ready()) GTEST_SKIP() << "nami-tncsim is not available";

  FaultyFileOps ops;
  CSettings settings(dir.File("NAMI.INI"), ops);
  FillDemoProfile(settings);
  // Lists from "LastMailNo" on: a plain "L" would list each message only once ever.
  settings.Set(keys::Field[0], "L #");
  settings.Set(keys::ListFile, dir.File("list.log"));
  ASSERT_TRUE(settings.SetDevicePath("COM2", link));
  MailFile mail(dir);
  settings.Set(keys::Send[0], mail.path);
  const std::string start = settings.Raw(keys::LastMailNo);
  SerialStation st(settings);
  CNamiDoc& doc = st.doc;
  CAutopilot& pilot = st.pilot;
  ASSERT_TRUE(doc.Port()->IsOpen()) << link;

  auto cycleFor = [&st](int ms, const std::function<bool()>& until) { st.CycleFor(ms, until); };
  auto run = [&] {
    // An aborted run left the link up: log off. Either way let the TNC
    // answer the last run's disconnect before the next run connects.
    if (!pilot.IsEnabled(AutoCommand::AutoMode)) pilot.Run(AutoCommand::End);
    cycleFor(1500, [] { return false; });
    pilot.Run(AutoCommand::AutoMode);
    cycleFor(15000, [&] { return !pilot.Busy(); });
    EXPECT_FALSE(pilot.Busy());
    return pilot.LastEnd().outcome;
  };
  auto posted = [&] {
    const std::string bytes = LoggedBytes(ReadFile(logPath));
    const std::string mailBytes = sim::CPtyServer::EscapeBytes(mail.Bytes());
    int n = 0;
    for (std::size_t at = bytes.find(mailBytes); at != std::string::npos; at = bytes.find(mailBytes, at + 1)) ++n;
    return n;
  };

  // 1. The settings folder is full: nothing posted, nothing recorded.
  settings.Set(keys::MailFile, dir.File("mail.log"));
  ops.writeErrno = ENOSPC;
  EXPECT_TRUE(IsAborted(run()));
  EXPECT_NE(pilot.LastEnd().reason.find("No space left on device"), std::string::npos) << pilot.LastEnd().reason;
  ops.writeErrno = 0;
  EXPECT_EQ(posted(), 0);
  EXPECT_EQ(settings.Raw(keys::Send[0]), mail.path);

  // 2. The mail log is on a full disk: the mail goes out once, LastMailNo stays.
  SmallTmpfs disk(64 * 1024);
  if (disk.Mounted()) {
    WriteFile(disk.File("mail.log"), "");
    disk.FillLeaving(0);
    settings.Set(keys::MailFile, disk.File("mail.log"));
    EXPECT_TRUE(IsAborted(run())) << pilot.LastEnd().reason;
    EXPECT_NE(pilot.LastEnd().reason.find("メールのログ"), std::string::npos) << pilot.LastEnd().reason;
    EXPECT_EQ(settings.Raw(keys::LastMailNo), start);
    EXPECT_EQ(settings.Raw(keys::Send[0]), "");
  } else {
    std::printf("full mail log skipped: %s\n", disk.Why().c_str());
  }

  // 3. Fixed: every new message is logged, the mail was posted once in all.
  settings.Set(keys::MailFile, dir.File("mail.log"));
  EXPECT_TRUE(IsCompleted(run())) << pilot.LastEnd().reason;
  EXPECT_EQ(settings.Raw(keys::LastMailNo), "1231") << ReadFile(dir.File("list.log"));
  EXPECT_TRUE(IsCompleted(run())) << pilot.LastEnd().reason;
  EXPECT_EQ(posted(), 1);
  EXPECT_EQ(settings.Raw(keys::LastMailNo), "1231");
  const std::string log = ReadFile(dir.File("mail.log"));
  for (int n = LeadingNumber(start) + 1; n <= 1231; ++n) {
    if (ReadFile(dir.File("list.log")).find(std::to_string(n) + " ") == std::string::npos) continue;
    EXPECT_NE(log.find(std::to_string(n)), std::string::npos) << n;
  }
  doc.ClosePort();
  EXPECT_TRUE(tncsim.Stop());
}

}  // namespace
}  // namespace nami::test
