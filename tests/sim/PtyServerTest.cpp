#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "support/TestSupport.h"
#include "text/ShiftJis.h"

namespace nami::sim {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A terminal program on the slave side.
class Terminal {
 public:
  explicit Terminal(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0) {
      termios tio{};
      ::tcgetattr(fd_, &tio);
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~Terminal() { Close(); }
  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ssize_t TryWrite(const std::string& bytes) { return ::write(fd_, bytes.data(), bytes.size()); }
  // Reads until `until` has arrived (or `ms` have passed); returns all of it.
  std::string Read(const std::string& until, int ms = 5000) {
    std::string got;
    std::int64_t end = NowMs() + ms;
    while (got.find(until) == std::string::npos && NowMs() < end) {
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 20);
      char buf[1024];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

class PtyServerTest : public ::testing::Test {
 protected:
  void StartServer(int drain = 0, bool echo = true, int lineDelayMs = 1) {
    tncOptions.connectDelayMs = 50;
    tncOptions.answerDelayMs = 5;
    tncOptions.lineDelayMs = lineDelayMs;
    tncOptions.echo = echo;
    tnc = std::make_unique<CTnc2>(bbs, clock, tncOptions);
    SPtyOptions o;
    o.linkPath = link;
    o.drainBytesPerSec = drain;
    o.logPath = logPath;
    o.sentLogPath = sentLogPath;
    server = std::make_unique<CPtyServer>(*tnc, clock, o);
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    thread = std::thread([this] { server->Run(); });
  }
  void TearDown() override {
    if (server) server->RequestStop();
    if (thread.joinable()) thread.join();
  }
  // The bytes the log recorded as received, unescaped, and the time of each chunk.
  std::vector<std::pair<double, std::string>> LogChunks(const std::string& path = {}) {
    std::vector<std::pair<double, std::string>> chunks;
    std::istringstream in(test::ReadFile(path.empty() ? logPath : path));
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::size_t sp = line.find(' ');
      std::string bytes;
      for (std::size_t i = sp + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && line[i + 1] == '\\') {
          bytes += '\\';
          ++i;
        } else if (line[i] == '\\' && line[i + 1] == 'x') {
          bytes += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
          i += 3;
        } else {
          bytes += line[i];
        }
      }
      chunks.emplace_back(std::stod(line.substr(0, sp)), bytes);
    }
    return chunks;
  }
  std::string LoggedBytes(const std::string& path = {}) {
    std::string all;
    for (auto& c : LogChunks(path)) all += c.second;
    return all;
  }

  test::TempDir dir;
  std::string link = dir.File("x/tnc");
  std::string logPath = dir.File("tnc.log");
  std::string sentLogPath = dir.File("sent.log");
  CSystemClock clock;
  CMessageBase base = CMessageBase::BuiltIn();
  CBbs bbs{base};
  STncOptions tncOptions;
  std::unique_ptr<CTnc2> tnc;
  std::unique_ptr<CPtyServer> server;
  std::thread thread;
};

TEST_F(PtyServerTest, ServesASessionThroughTheLink) {
  StartServer();
  Terminal t(link);
  ASSERT_TRUE(t.IsOpen());
  EXPECT_EQ(t.Read("cmd:"), "TNC-2 simulator 1.0 (nami-tncsim), MYCALL QZ1XYZ, BBS QZ1ABC\r\ncmd:");
  std::string sent;
  auto say = [&](const std::string& bytes, const std::string& until) {
    sent += bytes;
    t.Write(bytes);
    return t.Read(until);
  };
  EXPECT_NE(say("\x03\rCONNECT QZ1ABC\r", "BBS>\r\n").find("*** CONNECTED to QZ1ABC\r\n"), std::string::npos);
  std::string list = say("LL 5\r", "BBS>\r\n");
  EXPECT_EQ(list.find("Msg#"), 0u);
  EXPECT_NE(list.find("\r\n1225 "), std::string::npos);
  EXPECT_NE(say("R 1216\r", "BBS>\r\n").find(test::Sjis("  SB EMERG @JPN")), std::string::npos);
  say("S QZ2KLM\r", "Subject:\r\n");
  say("Hi\r", "/EX");
  EXPECT_NE(say("text\r\x1A\r", "BBS>\r\n").find("Message #1231 stored."), std::string::npos);
  EXPECT_EQ(say("B\r", "cmd:"), "73 de QZ1ABC, thank you for the call, QZ1XYZ.\r\n*** DISCONNECTED\r\ncmd:");
  t.Close();
  // The log holds exactly what the terminal sent.
  for (int i = 0; i < 50 && LoggedBytes() != sent; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(LoggedBytes(), sent);
  EXPECT_NE(test::ReadFile(logPath).find("# "), std::string::npos);
}

TEST_F(PtyServerTest, SentLogHoldsWhatTheTerminalReadStampedBeforeItsAnswer) {
  StartServer();
  Terminal t(link);
  ASSERT_TRUE(t.IsOpen());
  std::string read = t.Read("cmd:");
  t.Write("\x03\rCONNECT QZ1ABC\r");
  read += t.Read("BBS>\r\n");
  t.Write("B\r");
  read += t.Read("cmd:");
  t.Close();
  for (int i = 0; i < 50 && LoggedBytes(sentLogPath) != read; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(LoggedBytes(sentLogPath), read);
  // The prompt went out before the terminal's answer to it came in.
  double promptAt = 0, answerAt = 0;
  for (auto& c : LogChunks(sentLogPath))
    if (c.second.find("BBS>") != std::string::npos) promptAt = c.first;
  for (auto& c : LogChunks())
    if (c.second.find('B') == 0) answerAt = c.first;
  ASSERT_GT(promptAt, 0);
  EXPECT_LT(promptAt, answerAt);
}

TEST_F(PtyServerTest, ReopeningFindsAFreshTnc) {
  StartServer(0, true, 300);  // slow lines: the answer is still coming when the port closes
  {
    Terminal t(link);
    t.Read("cmd:");
    t.Write("C QZ1ABC\r");
    t.Read("BBS>\r\n");
    t.Write("L\r");
    t.Read("Msg#");
  }  // gone in the middle of an answer, without B, and back at once
  Terminal t(link);
  std::string again = t.Read("cmd:");
  EXPECT_EQ(again, "TNC-2 simulator 1.0 (nami-tncsim), MYCALL QZ1XYZ, BBS QZ1ABC\r\ncmd:");
  t.Write("C QZ1ABC\r");
  // The dropped session did not count as having read the list.
  EXPECT_NE(t.Read("BBS>\r\n").find("29 new since your last L"), std::string::npos);
  // Nothing of the old answer follows.
  EXPECT_EQ(t.Read("never", 700), "");
}

TEST_F(PtyServerTest, DrainRateHoldsBackTheTerminal) {
  StartServer(960, false);
  Terminal t(link);
  t.Read("cmd:");
  std::string data;
  while (data.size() < 1440) data += std::string(59, 'x') + "\r";
  std::int64_t start = NowMs();
  t.Write(data);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(LoggedBytes().size(), 600u);  // the rest waits in the pseudo-terminal
  while (LoggedBytes().size() < data.size() && NowMs() - start < 5000)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto chunks = LogChunks();
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(LoggedBytes(), data);
  double seconds = chunks.back().first - chunks.front().first;
  double expected = static_cast<double>(data.size() - chunks.front().second.size()) / 960.0;
  EXPECT_NEAR(seconds, expected, expected * 0.1);
}

TEST_F(PtyServerTest, SurvivesRandomBytesFromATerminalThatDoesNotRead) {
  StartServer();
  {
    Terminal t(link);
    std::mt19937 rng(7);
    std::string connect = "\x03\rC QZ1ABC\r";
    t.Write(connect);
    std::int64_t end = NowMs() + 1500;
    std::size_t sent = 0;
    while (NowMs() < end && sent < 200000) {
      std::string chunk(rng() % 64, '\0');
      for (char& c : chunk) c = rng() % 3 ? "LRB 0123456789\r"[rng() % 15] : static_cast<char>(rng() % 256);
      for (std::size_t done = 0; done < chunk.size() && NowMs() < end;) {
        ssize_t n = t.TryWrite(chunk.substr(done));
        if (n > 0) done += static_cast<std::size_t>(n);
        else std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      sent += chunk.size();
    }
  }
  // Given a moment, the server drops what the closed terminal left unread.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Terminal t(link);
  EXPECT_EQ(t.Read("cmd:"), "TNC-2 simulator 1.0 (nami-tncsim), MYCALL QZ1XYZ, BBS QZ1ABC\r\ncmd:");
  t.Write("C QZ1ABC\r");
  std::string got = t.Read("BBS>\r\n");
  EXPECT_NE(got.find("*** CONNECTED to QZ1ABC"), std::string::npos) << got.substr(0, 300);
}

TEST(NamiTncsim, ServesUntilTerminatedAndRemovesItsLink) {
  test::TempDir dir;
  std::string link = dir.File("sub/tnc");
  std::string exe = std::string(NAMI_BINARY_DIR) + "/nami-tncsim";
  pid_t pid = ::fork();
  if (pid == 0) {
    int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execl(exe.c_str(), exe.c_str(), "--link", link.c_str(), "--line-end", "cr", "--fail", "busy", "--connect-delay",
            "10", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  struct stat st {};
  for (int i = 0; i < 100 && ::lstat(link.c_str(), &st) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    Terminal t(link);
    ASSERT_TRUE(t.IsOpen());
    t.Read("cmd:");
    t.Write("C QZ1ABC\r");
    EXPECT_NE(t.Read("DISCONNECTED\rcmd:").find("*** QZ1ABC busy\r*** DISCONNECTED\rcmd:"), std::string::npos);
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(::lstat(link.c_str(), &st), 0);

  // A bad option is refused.
  std::string cmd = exe + " --link " + link + " --fail sometimes 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 2);
}

}  // namespace
}  // namespace nami::sim
