// Against an independent AX.25: nami's TNC2 on KISS TCP to Dire Wolf A (a
// modem only), relayed 1200-baud audio to Dire Wolf B, whose own connected
// mode answers for N0BBS through an AGW client that echoes what it gets.
// Every byte comes back, the link ends cleanly, and neither Dire Wolf logs a
// protocol error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "link/KissFarSide.h"
#include "link/Tnc2Engine.h"
#include "support/DirewolfRig.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

// A child process whose stdout we read (for its READY line).
class CChild {
 public:
  explicit CChild(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    fd_ = out[0];
  }
  ~CChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  bool WaitFor(const std::string& text, int timeoutMs) {
    std::string got;
    for (int waited = 0; waited < timeoutMs; waited += 100) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        char buf[256];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        got.append(buf, static_cast<std::size_t>(n));
        if (got.find(text) != std::string::npos) return true;
      }
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CLiveTnc {
 public:
  explicit CLiveTnc(int kissPort) {
    SKissEndpoint ep;
    ep.host = "127.0.0.1";
    ep.port = kissPort;
    far_ = std::make_unique<CKissFarSide>(clock_, ep, MakeTcpStream(ep.host, ep.port, ep.ToString()));
    STnc2Options o;
    o.myCall = "JA1ABC";
    engine_ = std::make_unique<CTnc2Engine>(*far_, clock_, o);
    engine_->PowerOn();
  }
  // Runs in real time until `text` has been printed (after `from`).
  bool RunUntil(const std::string& text, int timeoutMs, std::size_t from = 0) {
    const std::int64_t end = clock_.MonotonicMs() + timeoutMs;
    while (clock_.MonotonicMs() < end) {
      pollfd p{far_->PollFd(), POLLIN, 0};
      ::poll(&p, p.fd >= 0 ? 1 : 0, 20);
      engine_->TakeDue(out, 1 << 20);
      if (out.find(text, from) != std::string::npos) return true;
    }
    return false;
  }
  void Type(const std::string& s) { engine_->Receive(s); }
  CKissFarSide& Far() { return *far_; }

  std::string out;

 private:
  CSystemClock clock_;
  std::unique_ptr<CKissFarSide> far_;
  std::unique_ptr<CTnc2Engine> engine_;
};

TEST(KissDirewolf, EchoThroughDirewolfsConnectedMode) {
  test::TempDir logs;
  test::DirewolfRig rig({"--txdelay", "30", "--paclen", "128", "--maxframe", "4", "--log-dir", logs.Path()});
  ASSERT_TRUE(rig.Ok()) << rig.Error();
  CChild bbs({"python3", std::string(NAMI_SOURCE_DIR) + "/tests/support/direwolf/agwclient.py", "bbs", "--port",
              std::to_string(rig.Port("B_AGW")), "--mycall", "N0BBS", "--echo"});
  ASSERT_TRUE(bbs.WaitFor("READY", 20000));

  CLiveTnc tnc(rig.Port("A_KISS"));
  ASSERT_TRUE(tnc.RunUntil("cmd:", 3000)) << tnc.out;
  tnc.Type("PACLEN 128\rMAXFRAME 4\rC N0BBS\r");
  ASSERT_TRUE(tnc.RunUntil("*** CONNECTED to N0BBS", 60000)) << tnc.out;
  // Twelve lines, 600 bytes, each line numbered so a loss or a repeat shows.
  std::string text;
  for (int i = 0; i < 12; ++i) text += "line " + std::to_string(100 + i) + " " + std::string(38, 'a' + i) + "\r";
  const std::size_t from = tnc.out.size();
  tnc.Type(text);
  ASSERT_TRUE(tnc.RunUntil("line 111", 120000, from)) << tnc.out.substr(from);
  tnc.RunUntil("never printed", 2000);
  std::string echoed = tnc.out.substr(from);
  for (int i = 0; i < 12; ++i) {
    const std::string line = "line " + std::to_string(100 + i) + " " + std::string(38, 'a' + i);
    const auto first = echoed.find(line);
    EXPECT_NE(first, std::string::npos) << line;
    EXPECT_EQ(echoed.find(line, first + 1), std::string::npos) << "twice: " << line;
  }
  tnc.Type("\x03");
  tnc.Type("D\r");
  ASSERT_TRUE(tnc.RunUntil("*** DISCONNECTED", 60000, from)) << tnc.out.substr(from);
  EXPECT_EQ(tnc.Far().Counts().badFrames, 0u);
  EXPECT_EQ(tnc.Far().Counts().kissDropped, 0u);
  for (const char* side : {"A", "B"}) {
    const std::string log = ReadAll(logs.Path() + "/direwolf-" + side + ".log");
    EXPECT_FALSE(log.empty()) << side;
    EXPECT_EQ(log.find("Protocol Error"), std::string::npos) << "Dire Wolf " << side << ":\n" << log;
  }
}

}  // namespace
}  // namespace nami
