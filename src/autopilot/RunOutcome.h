// How an auto-mode run ended: the one list of outcomes behind the status
// bar, the headless output and the headless exit status.
//
// Each outcome has a fixed name (for scripts), a Japanese and an English
// text, and the exit status of `nami --headless`. A run ends with exactly
// one outcome; the autopilot keeps it with the time and a detail (the
// device or file and the system's reason, UTF-8).
#pragma once

#include <ctime>
#include <string>

namespace nami {

enum class RunOutcome {
  None,           // no run has ended yet
  Completed,      // every step ran and the BBS was logged off
  NothingNew,     // completed, but no mail was sent and no message read
  EndedByUser,    // the end command stopped the run
  NoAnswer,       // nothing arrived from the port for the watchdog time
  BbsBusy,        // the BBS answered the connect request with "busy"
  ConnectFailed,  // the connect request failed (e.g. "retry count exceeded")
  LinkLost,       // the link dropped after the connect, or the device vanished
  PortNotOpen,    // the run started without an open port
  FileError,      // a log, mail or settings file could not be opened or written
};

struct RunOutcomeInfo {
  RunOutcome outcome;
  const char* name;      // "completed", "no-answer", ...
  const char* japanese;  // UTF-8
  const char* english;
  int exitStatus;  // of `nami --headless`
};

const RunOutcomeInfo& DescribeOutcome(RunOutcome outcome);
// Every outcome but None, Completed and NothingNew.
bool IsAborted(RunOutcome outcome);
// Completed or NothingNew.
bool IsCompleted(RunOutcome outcome);

// The end of one run, as kept by the autopilot.
struct RunEnd {
  RunOutcome outcome = RunOutcome::None;
  std::time_t at = 0;
  std::string detail;  // UTF-8; may be empty
  std::string reason;  // why an aborted run ended, in the autopilot's words (UTF-8); empty when completed
};

// "応答なし (no answer): detail", UTF-8: the one-line summary the status
// bar and the headless output show after the time.
std::string DescribeRunEnd(const RunEnd& end);

}  // namespace nami
