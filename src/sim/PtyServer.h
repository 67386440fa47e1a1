// Serves the simulated TNC on a pseudo-terminal, so that nami (or any serial
// terminal program) can open it like a serial port through a symbolic link.
//
// A terminal that closes the port and opens it again finds a fresh TNC in
// command mode, as after a power cycle. Opening and closing are seen through
// inotify on the slave device (a close followed at once by an open leaves no
// hang-up to see), else through the master's hang-up. Answers the old
// terminal did not read are dropped. With a drain rate, the master side
// is read only at that pace, so the terminal's writes back up like on a slow
// radio link. With a log, every byte received from the terminal is written
// down with a time stamp; with a sent log, likewise every byte written to it
// (the two together give the terminal's reaction times).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "time/Clock.h"
#include "sim/Tnc2.h"

namespace nami::sim {

struct SPtyOptions {
  std::string linkPath;      // symbolic link to the slave; empty = none
  int drainBytesPerSec = 0;  // 0 = read as fast as the terminal writes
  std::string logPath;       // empty = no log
  std::string sentLogPath;   // bytes written to the terminal; empty = no log
};

class CPtyServer {
 public:
  static constexpr std::size_t kOutputLimit = 1 << 20;

  CPtyServer(CTnc2& tnc, IClock& clock, SPtyOptions options);
  ~CPtyServer();
  CPtyServer(const CPtyServer&) = delete;
  CPtyServer& operator=(const CPtyServer&) = delete;

  // Opens the pseudo-terminal (raw mode) and puts the link in place.
  bool Start(std::string* error);
  const std::string& SlavePath() const { return slavePath_; }
  // Serves until RequestStop; then removes the link.
  void Run();
  // Safe to call from a signal handler or another thread.
  void RequestStop();

  // Log line format: "<seconds since the epoch>.<microseconds> <bytes>", the
  // bytes with printable ASCII as is, backslash as "\\" and every other byte
  // as "\xHH"; events as lines starting with "#".
  static std::string EscapeBytes(std::string_view bytes);

 private:
  bool OpenPty(std::string* error);
  bool OpenLogs(std::string* error);
  bool MakeLink(std::string* error);
  bool WaitForTerminal();
  int PlanRead(std::int64_t now, bool& mayRead);
  bool TerminalPresent();
  void HandleOpenCloseEvents();
  void OnTerminalOpened();
  void OnTerminalClosed(bool readRest);
  void ReadFromTerminal(std::size_t max);
  void WriteToTerminal();
  void Log(std::string_view text, bool event);
  static void LogTo(std::FILE* file, std::string_view text, bool event, const timespec* at = nullptr);
  void RemoveLink();

  CTnc2& tnc_;
  IClock& clock_;
  SPtyOptions options_;
  int master_ = -1;
  int wake_[2] = {-1, -1};
  int notify_ = -1;  // inotify on the slave: sees a close and a reopen however quick
  int slave_ = -1;   // held open with inotify, so that unread answers can be dropped
  int opens_ = 0;
  std::string slavePath_;
  bool linkMade_ = false;
  std::FILE* log_ = nullptr;
  std::FILE* sentLog_ = nullptr;

  bool present_ = false;
  std::string toTerminal_;
  double budget_ = 0;          // bytes that may be read now (drain rate)
  std::int64_t budgetAt_ = 0;  // when the budget was last topped up
};

}  // namespace nami::sim
