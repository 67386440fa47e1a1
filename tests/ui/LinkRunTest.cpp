// The program over each link kind: `nami --headless` with `[Devices]` naming
// an AGWPE server, a telnet BBS (both the simulator, `nami-tncsim --agw` and
// `--telnet`), the pair of Dire Wolf soft TNCs joined by audio, or a value
// that is none of the kinds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "settings/Settings.h"
#include "sim/DemoPort.h"
#include "support/DirewolfRig.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

// A program started for the test; its stdout is read line by line; stopped
// (by its pid) when the test ends.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(out[1]);
    fd_ = out[0];
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  // Ends it as a crash would: its sockets close without a word.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // Reads until a line starting with `prefix` arrives; returns the rest of it.
  std::string Line(const std::string& prefix, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      for (std::size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        char buf[512];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        buffer_.append(buf, static_cast<std::size_t>(n));
      }
    }
    return {};
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

struct Result {
  int status = -1;
  std::string out;
};

Result RunNami(const test::TempDir& dir, const std::string& env = {}) {
  const std::string command = "cd '" + dir.Path() + "' && NAMI_NO_KEYRING=1 NAMI_HEADLESS_TIMEOUT=120 " + env + " '" +
                              NAMI_BINARY_DIR "/nami' --headless --ini '" + dir.File("NAMI.INI") + "' 2>&1";
  Result r;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

// The demo's profile (list everything, read the new ones) with COM2 = `device`.
void WriteIni(const test::TempDir& dir, const std::string& device, const std::string& bbsCall = "QZ1ABC") {
  CSettings settings(dir.File("NAMI.INI"));
  settings.Set(keys::ReadCom, "R");
  settings.Set(keys::Field[0], "L");
  settings.Set(keys::LastMailNo, demo::kLastMailNo);
  settings.Set(keys::Call, bbsCall);
  settings.Set(keys::Prompt, bbsCall + " BBS>");
  settings.Set(keys::ComStatus, "COM2:9600,n,8,1,n");
  settings.SetDevicePath("COM2", device);
  settings.SetMyCall("QZ1XYZ");
}

const std::string kSim = NAMI_BINARY_DIR "/nami-tncsim";

TEST(LinkRun, AutopilotRunsOverTheSimulatorsAgwpeServer) {
  Child sim({kSim, "--agw", "0"});
  const std::string port = sim.Line("nami-tncsim: AGWPE on 127.0.0.1:");
  ASSERT_FALSE(port.empty());
  test::TempDir dir;
  WriteIni(dir, "agw://127.0.0.1:" + port);
  Result r = RunNami(dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("*** CONNECTED to QZ1ABC"), std::string::npos) << r.out;
  EXPECT_NE(test::ReadFile(dir.Path() + "/templist.dat").find("1230 "), std::string::npos) << r.out;
  EXPECT_NE(test::ReadFile(dir.Path() + "/tempmail.dat").find(test::Sjis("良いお年を。")), std::string::npos);
}

TEST(LinkRun, TelnetLoginTakesThePasswordFromTheOwnersFileOnly) {
  Child sim({kSim, "--telnet", "0", "--password", "s3cret"});
  const std::string port = sim.Line("nami-tncsim: telnet on 127.0.0.1:");
  ASSERT_FALSE(port.empty());
  const std::string link = "telnet://127.0.0.1:" + port;
  struct Case {
    const char* name;
    const char* password;
    mode_t mode;
    int status;
    const char* expect;
  } cases[] = {
      {"owner only", "s3cret", 0600, 0, "Welcome to QZ1ABC BBS, QZ1XYZ."},
      {"readable by others", "s3cret", 0644, 6, "refused, others may read"},
      {"wrong password", "guess", 0600, 6, "Login refused"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteIni(dir, link);
    test::WriteFile(dir.File("link-passwords"), "telnet://elsewhere:23 other\n" + link + " " + c.password + "\n");
    ::chmod(dir.File("link-passwords").c_str(), c.mode);
    Result r = RunNami(dir);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out;
    EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_EQ(r.out.find("s3cret"), std::string::npos) << "the password is never shown";
  }
}

TEST(LinkRun, ABadDevicesValueOrAnUnreachableHostEndsTheRunWithTheLinkNamed) {
  // A value that names no port: "port not open" (1); a server that does not
  // answer: the connect failed (6).
  struct Case {
    const char* device;
    int status;
    const char* expect;
  } cases[] = {
      {"kiss-tnc", 1, "COM2 \"kiss-tnc\": デバイスのパスでも agw://HOST:PORT"},
      {"ax25://127.0.0.1:8001", 1, "リンクの種類 \"ax25\" はありません"},
      {"agw://127.0.0.1:99999", 1, "TCP ポートは 1 から 65535 までの数で指定してください"},
      {"agw://127.0.0.1:1", 6, "*** agw://127.0.0.1:1/0: 接続を拒否されました"},
      {"telnet://127.0.0.1:1", 6, "*** telnet://127.0.0.1:1: 接続を拒否されました"},
      {"kiss://127.0.0.1:1", 6, "*** kiss://127.0.0.1:1"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteIni(dir, c.device);
    Result r = RunNami(dir);
    EXPECT_EQ(r.status, c.status) << c.device << "\n" << r.out;
    EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.device << "\n" << r.out;
  }
}

TEST(LinkRun, AServerGoneMidRunEndsItNamingTheLinkAndWhy) {
  // An AGWPE server that goes is a failure named on the end line; a telnet
  // BBS closing the connection is how a telnet session ends (DISCONNECTED).
  struct Case {
    const char* option;
    const char* announces;
    const char* scheme;
    const char* endLine;  // after the outcome; "%s" is the link
  } cases[] = {
      {"--agw", "nami-tncsim: AGWPE on 127.0.0.1:", "agw://", "接続できず (connect failed): %s/0: サーバーが接続を閉じました"},
      {"--telnet", "nami-tncsim: telnet on 127.0.0.1:", "telnet://", "接続できず (connect failed) — 送信"},
  };
  for (const Case& c : cases) {
    Child sim({kSim, c.option, "0"});
    const std::string port = sim.Line(c.announces);
    ASSERT_FALSE(port.empty());
    const std::string link = c.scheme + std::string("127.0.0.1:") + port;
    test::TempDir dir;
    WriteIni(dir, link);
    // A prompt the BBS never sends: the run waits, connected, until the
    // server goes (still in the connect step: "connect failed").
    CSettings(dir.File("NAMI.INI")).Set(keys::Prompt, "QZ1ABC NEVER>");
    Result r;
    std::thread run([&] { r = RunNami(dir); });
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    sim.Kill();
    run.join();
    std::string expect = c.endLine;
    if (auto at = expect.find("%s"); at != std::string::npos) expect.replace(at, 2, link);
    EXPECT_EQ(r.status, 6) << c.option << "\n" << r.out;
    EXPECT_NE(r.out.find("*** CONNECTED to QZ1ABC"), std::string::npos) << c.option << "\n" << r.out;
    EXPECT_NE(r.out.find(expect), std::string::npos) << c.option << "\n" << r.out;
  }
}

// nami -> AGWPE -> Dire Wolf A -> 1200 baud AFSK audio -> Dire Wolf B ->
// AGWPE -> the simulated BBS: a whole autopilot run over a real AX.25 link.
TEST(LinkRun, AutopilotRunsOverDireWolfAndAnAudioChannel) {
  test::DirewolfRig rig({"--txdelay", "30", "--paclen", "128", "--maxframe", "4", "--v20", "N0BBS"});
  ASSERT_TRUE(rig.Ok()) << rig.Error();
  Child bbs({kSim, "--agw-bbs", "127.0.0.1:" + std::to_string(rig.Port("B_AGW")), "--call", "N0BBS"});
  ASSERT_FALSE(bbs.Line("nami-tncsim: BBS N0BBS at").empty());
  test::TempDir dir;
  WriteIni(dir, "agw://127.0.0.1:" + std::to_string(rig.Port("A_AGW")), "N0BBS");
  CSettings(dir.File("NAMI.INI")).Set(keys::LastMailNo, "1226");  // a shorter run: 4 new messages
  Result r = RunNami(dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("*** CONNECTED to N0BBS"), std::string::npos) << r.out;
  const std::string mail = test::ReadFile(dir.Path() + "/tempmail.dat");
  EXPECT_NE(mail.find(test::Sjis("良いお年を。")), std::string::npos) << r.out;
}

}  // namespace
}  // namespace nami
