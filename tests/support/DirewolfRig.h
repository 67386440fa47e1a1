// Starts the Dire Wolf pair (tests/support/direwolf/dwpair.py) for a C++ test
// and reads the ports it prints; the destructor stops it. Header only, POSIX.
//
//   nami::test::DirewolfRig rig({"--txdelay", "20"});
//   ASSERT_TRUE(rig.Ok()) << rig.Error();
//   int agw = rig.Port("A_AGW");   // also A_KISS, B_AGW, B_KISS, A_PID, B_PID, RELAY_PID
//
// The rig's stdin is a pipe held here and it runs with --stop-on-stdin-eof, so
// it also stops when the test process dies without running the destructor.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace nami::test {

class DirewolfRig {
 public:
  // Extra arguments go to "dwpair.py run" (--txdelay, --paclen, --maxframe, --v20 CALL, ...).
  explicit DirewolfRig(const std::vector<std::string>& extraArgs = {}, int startTimeoutMs = 60000) {
    Start(extraArgs, startTimeoutMs);
  }
  ~DirewolfRig() { Stop(); }
  DirewolfRig(const DirewolfRig&) = delete;
  DirewolfRig& operator=(const DirewolfRig&) = delete;

  bool Ok() const { return ok_; }
  // Why the rig did not come up: its own message (e.g. direwolf not installed).
  const std::string& Error() const { return error_; }
  int Port(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? 0 : it->second;
  }

  // SIGTERM, then SIGKILL after 10 s; idempotent.
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      pid_ = -1;
    }
    CloseFd(out_);
    CloseFd(in_);
    ok_ = false;
  }

  static std::string Script() {
#ifdef NAMI_SOURCE_DIR
    return std::string(NAMI_SOURCE_DIR) + "/tests/support/direwolf/dwpair.py";
#else
    return "tests/support/direwolf/dwpair.py";
#endif
  }

 private:
  void Start(const std::vector<std::string>& extraArgs, int timeoutMs) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) {
      error_ = "pipe failed";
      return;
    }
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
      close(toChild[0]);
      close(toChild[1]);
      error_ = "pipe failed";
      return;
    }
    std::vector<std::string> args = {"python3", Script(), "run", "--print-ports", "--stop-on-stdin-eof"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      dup2(fromChild[1], 2);
      execvp(argv[0], argv.data());
      const char msg[] = "DirewolfRig: cannot run python3\n";
      (void)!write(2, msg, sizeof msg - 1);
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
    if (pid_ < 0) {
      error_ = "fork failed";
      Stop();
      return;
    }
    ReadUntilReady(timeoutMs);
  }

  void ReadUntilReady(int timeoutMs) {
    std::string text;
    size_t parsed = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        error_ = "the Dire Wolf rig did not report READY within " + std::to_string(timeoutMs / 1000) + " s: " + text;
        Stop();
        return;
      }
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[4096];
      ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) {
        error_ = text.empty() ? std::string("the Dire Wolf rig exited without a message") : text;
        Stop();
        return;
      }
      text.append(buf, static_cast<size_t>(n));
      size_t nl;
      while ((nl = text.find('\n', parsed)) != std::string::npos) {
        std::string line = text.substr(parsed, nl - parsed);
        parsed = nl + 1;
        if (line == "READY") {
          ok_ = true;
          return;
        }
        auto eq = line.find('=');
        if (eq != std::string::npos) values_[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
      }
    }
  }

  static void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  bool ok_ = false;
  std::string error_;
  std::map<std::string, int> values_;
};

}  // namespace nami::test
