// The mail sending step: the queue, the bytes of each file, pacing by the
// transmit queue, and when the queue keys are emptied.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "support/StationRig.h"

namespace nami::test {
namespace {

class SendStep : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.pilot.Run(AutoCommand::Connect);
    rig.Drain();
    rig.port->sent.clear();
  }
  std::string Queue(int slot, const std::string& name, const std::string& bytes) {
    std::string path = rig.dir.File(name);
    WriteFile(path, bytes);
    rig.settings.Set(keys::Send[static_cast<std::size_t>(slot - 1)], path);
    return path;
  }
  std::string Sent() {
    rig.port->sent.clear();
    rig.pilot.Run(AutoCommand::Send);
    rig.Drain();
    return rig.port->sent;
  }
  StationRig rig{SmallBbs()};
};

TEST_F(SendStep, QueuedFilesInKeyOrderEachAfterThePrompt) {
  Queue(2, "a.txt", "SP JA1A\r\nfirst\r\n");
  Queue(4, "b.txt", "SP JA1B\r\nsecond\r\n");
  rig.pilot.Run(AutoCommand::Send);
  // Until the BBS's prompt after the first file, the second one waits.
  for (int i = 0; i < 200 && rig.Mails().empty(); ++i) {
    rig.core.Tick();
    rig.pilot.OnTick();
    rig.doc.Sending().Step();
  }
  EXPECT_EQ(rig.port->sent, "SP JA1A\rfirst\r\x1A\r");
  rig.Drain();
  EXPECT_EQ(rig.port->sent, "SP JA1A\rfirst\r\x1A\rSP JA1B\rsecond\r\x1A\r");
  ASSERT_EQ(rig.Mails().size(), 2u);
  for (const KeySpec& key : keys::Send) EXPECT_EQ(rig.Setting(key), "") << key.name;
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_FALSE(rig.pilot.MailSender().Sending());
}

TEST_F(SendStep, LineEndsBecomeCrAndCtrlZEndsTheFile) {
  Queue(1, "ends.txt", "SP JA1X\r\na\nb\rc\r\n\r\nd");
  EXPECT_EQ(Sent(), "SP JA1X\ra\rb\rc\r\rd\x1A\r");
  Queue(1, "empty.txt", "");
  EXPECT_EQ(Sent(), "\x1A\r");
  // A Ctrl-Z inside the file ends it there: the rest is never sent.
  Queue(1, "z.txt",
        "SP JA1X\r\nabc\x1A"
        "B\r\nmore\r\n");
  EXPECT_EQ(Sent(), "SP JA1X\rabc\x1A\r");
  EXPECT_FALSE(rig.pilot.Busy());
}

TEST_F(SendStep, OneByteOnlyWhenTheTransmitQueueIsEmpty) {
  Queue(1, "p.txt", "SP X\r\nabc\r\n");
  rig.pilot.Run(AutoCommand::Send);
  rig.port->Sim().HoldQueue(3);
  for (int i = 0; i < 10; ++i) rig.doc.Sending().Step();
  EXPECT_EQ(rig.port->sent, "");
  rig.port->Sim().HoldQueue(0);
  rig.doc.Sending().Step();
  EXPECT_EQ(rig.port->sent, "S");
  rig.doc.Sending().Step();
  EXPECT_EQ(rig.port->sent, "SP");
  // Nothing goes out from the wait pass itself.
  rig.pilot.OnTick();
  EXPECT_EQ(rig.port->sent, "SP");
}

TEST_F(SendStep, NoQueuedFileEndsAtOnceWithoutWritingSettings) {
  const std::string before = ReadFile(rig.settings.Path());
  EXPECT_EQ(Sent(), "");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_EQ(ReadFile(rig.settings.Path()), before);
}

TEST_F(SendStep, AMissingFileIsNamedSkippedAtOnceAndKeptQueued) {
  const std::string missing = rig.dir.File("nope.txt");
  rig.settings.Set(keys::Send[0], missing);
  Queue(3, "c.txt", "SP C\r\n");
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::Send);
  rig.Drain();
  // No wait for a prompt that nothing sent would bring.
  EXPECT_EQ(rig.port->sent, "SP C\r\x1A\r");
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_EQ(rig.Setting(keys::Send[0]), missing);
  EXPECT_EQ(rig.Setting(keys::Send[2]), "");
  EXPECT_EQ(rig.ui.messages,
            std::vector<std::string>{msg::CannotOpenFile + "\n" + missing + ": No such file or directory"});
}

// A named pipe queued by mistake never blocks: it is named, skipped and
// kept in the queue; the other files go out and the run completes.
TEST_F(SendStep, AFifoIsNamedSkippedAndKeptQueued) {
  const std::string fifo = rig.dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  rig.settings.Set(keys::Send[0], fifo);
  Queue(2, "ok.txt", "SP X\r\n");
  rig.pilot.State().SelectSteps(StepChoice{false, false, true});
  // A run starts with the link down.
  rig.pilot.Run(AutoCommand::End);
  rig.Drain();
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::AutoMode);
  rig.Drain();
  EXPECT_EQ(rig.port->sent,
            "\x03\rCONNECT QZ1ABC\rSP X\r\x1A\rB\r\x03"
            "D\r");
  EXPECT_EQ(rig.ui.messages,
            std::vector<std::string>{msg::CannotOpenFile + "\n" + fifo + ": is a named pipe (FIFO), not a file"});
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_TRUE(IsCompleted(rig.pilot.LastEnd().outcome));
  EXPECT_EQ(rig.Setting(keys::Send[0]), fifo);
  EXPECT_EQ(rig.Setting(keys::Send[1]), "");
}

// The descriptor of this process that has `path` open; -1 when none.
int DescriptorOf(const std::string& path) {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  int found = -1;
  while (dirent* e = ::readdir(dir)) {
    char target[PATH_MAX];
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path) found = std::atoi(e->d_name);
  }
  ::closedir(dir);
  return found;
}

// Makes the next read of the open file `path` fail: its descriptor now
// reads a folder.
void FailReadsOf(const std::string& path, const std::string& folderPath) {
  const int fd = DescriptorOf(path);
  ASSERT_GE(fd, 0);
  const int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  ASSERT_EQ(::dup2(folder, fd), fd);
  ::close(folder);
}

TEST_F(SendStep, ReadErrorStopsEverythingSilentlyUntilTheEndCommand) {
  const std::string path = Queue(1, "big.txt", "SP X\r\n" + std::string(9000, 'a'));
  Queue(2, "next.txt", "SP Y\r\n");
  rig.pilot.Run(AutoCommand::Send);
  for (int i = 0; i < 100 && rig.port->sent.size() < 1000; ++i) rig.Cycle();  // partly sent
  ASSERT_TRUE(rig.pilot.MailSender().Sending());
  FailReadsOf(path, rig.dir.Path());
  rig.Drain();
  EXPECT_FALSE(rig.pilot.MailSender().Sending());
  EXPECT_FALSE(rig.pilot.Busy());
  EXPECT_LT(rig.port->sent.size(), 9006u);
  // The message is ended once, right after what was read: the log-off that
  // follows is a command to the BBS, not a line of the message.
  const std::string sent = rig.port->sent;
  EXPECT_EQ(sent.find('\x1A'), sent.size() - 2);
  EXPECT_EQ(sent.substr(sent.size() - 3), "a\x1A\r");
  EXPECT_EQ(rig.port->sent.find("SP Y"), std::string::npos);
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_FALSE(rig.pilot.State().Running());
  EXPECT_FALSE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
  EXPECT_EQ(rig.Setting(keys::Send[0]), path);
  rig.pilot.Run(AutoCommand::End);
  rig.Drain();
  EXPECT_EQ(rig.port->sent.substr(sent.size() - 2), "\x1A\rB\r\x03"
            "D\r");
  EXPECT_TRUE(rig.pilot.IsEnabled(AutoCommand::AutoMode));
}

// In a scheduled run the abort logs off at once: after the end marker.
TEST_F(SendStep, ReadErrorInARunEndsTheMessageBeforeTheLogOff) {
  const std::string path = Queue(1, "big.txt", "SP X\r\n" + std::string(9000, 'a'));
  rig.pilot.State().SelectSteps(StepChoice{false, false, true});
  rig.pilot.Run(AutoCommand::End);
  rig.Drain();
  rig.port->sent.clear();
  rig.pilot.Run(AutoCommand::AutoMode);
  for (int i = 0; i < 200 && rig.port->sent.size() < 1000; ++i) rig.Cycle();
  ASSERT_TRUE(rig.pilot.MailSender().Sending());
  FailReadsOf(path, rig.dir.Path());
  rig.Drain();
  const std::string sent = rig.port->sent;
  const std::size_t logOff = sent.find("B\r\x03"
                                           "D\r");
  ASSERT_NE(logOff, std::string::npos) << "the aborted run logs off";
  EXPECT_EQ(sent.substr(logOff - 3, 3), "a\x1A\r");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), '\x1A'), 1);
  EXPECT_EQ(rig.Setting(keys::Send[0]), path) << "a mail cut short stays queued";
}

TEST_F(SendStep, ReinitialisedDocumentDropsTheFileWithoutItsEndMarker) {
  Queue(1, "r.txt", "SP X\r\nabc\r\n");
  rig.pilot.Run(AutoCommand::Send);
  rig.doc.Sending().Step();
  rig.doc.OpenPort("COM1:9600,n,8,1,n");  // File New: the file started before goes no further
  rig.doc.Sending().Step();
  EXPECT_EQ(rig.port->sent, "S");
  EXPECT_TRUE(rig.doc.Sending().Idle());
  EXPECT_FALSE(rig.pilot.MailSender().Sending());
}

}  // namespace
}  // namespace nami::test

namespace nami::test {
namespace {

TEST(SendStepOnASlowLink, PromptSeenDuringTheFirstFileEndsItsWaitButNotDuringLaterOnes) {
  // A byte goes out every 50 ms: the prompts below arrive while a file is
  // still going out.
  SStationOptions options = SmallBbs();
  options.drainBytesPerSec = 20;
  StationRig rig(options);
  rig.pilot.Run(AutoCommand::Connect);
  rig.Drain();
  auto queue = [&](std::size_t key, const std::string& name, const std::string& bytes) {
    WriteFile(rig.dir.File(name), bytes);
    rig.settings.Set(keys::Send[key], rig.dir.File(name));
  };
  queue(0, "a.txt", "SP JA1A\r\naaaa\r\n");
  queue(1, "b.txt", "SP JA1B\r\nbbbb\r\n");
  queue(2, "c.txt", "SP JA1C\r\n");
  rig.pilot.Run(AutoCommand::Send);
  auto cycleUntilSent = [&](const std::string& marker) { rig.CycleUntilSent(marker, 1000); };
  // The BBS's prompt, a tick later on the terminal.
  auto bbsPrompt = [&] {
    rig.BbsSays("QZ1ABC>\r");
    for (int i = 0; i < 3 && !rig.pilot.State().PromptSeen(); ++i) rig.Cycle();
  };
  // The BBS's answer to the file just sent is lost on the air.
  auto loseAnswer = [&](std::size_t stored) {
    for (int i = 0; i < 20 && rig.Base().Messages().size() < stored; ++i) rig.Cycle();
    ASSERT_EQ(rig.Base().Messages().size(), stored);
    ASSERT_GT(rig.Undelivered(), 0u);
    rig.LoseUndelivered();
  };
  // A prompt shows up while the first file goes out (say, the BBS's echo).
  cycleUntilSent("SP JA1A\ra");
  bbsPrompt();
  ASSERT_TRUE(rig.pilot.State().PromptSeen());
  cycleUntilSent("aaaa\r\x1A\r");
  // The first wait took that prompt: the second file is already under way,
  // before the BBS's answer to the first one has even been read.
  EXPECT_FALSE(rig.Shown("stored."));
  EXPECT_TRUE(rig.pilot.MailSender().Sending());
  EXPECT_EQ(rig.pilot.MailSender().CurrentFile(), rig.dir.File("b.txt"));
  loseAnswer(1);

  // The same during the second file is forgotten after its end marker.
  cycleUntilSent("SP JA1B\rb");
  bbsPrompt();
  ASSERT_TRUE(rig.pilot.State().PromptSeen());
  cycleUntilSent("bbbb\r\x1A\r");
  loseAnswer(2);
  for (int i = 0; i < 20; ++i) rig.Cycle();
  EXPECT_FALSE(rig.pilot.MailSender().Sending());
  EXPECT_EQ(rig.port->sent.find("SP JA1C"), std::string::npos);
  EXPECT_TRUE(rig.pilot.Busy());
  rig.BbsSays("QZ1ABC>\r");
  rig.Drain();
  EXPECT_NE(rig.port->sent.find("SP JA1C\r\x1A\r"), std::string::npos);
}

}  // namespace
}  // namespace nami::test
