// How an auto-mode run ended, and the one-line summary shown at its end (the
// status bar, the activity pane, headless standard output).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nami {

enum class RunOutcome {
  Completed,      // every step ran, something was sent or read
  NothingNew,     // every step ran; no mail to send and nothing new to read
  EndedByUser,    // the end command
  NoAnswer,       // nothing arrived for too long
  BbsBusy,        // the TNC said the BBS is busy
  ConnectFailed,  // the TNC gave up calling the BBS
  LinkLost,       // the link went down during the run
  PortNotOpen,    // the run could not start: no open port
  NotWritable,    // a log, mail file or the settings could not be written or read
};

// The outcome's words (UTF-8).
const char* OutcomeText(RunOutcome outcome);
// Everything but Completed and NothingNew.
bool IsFailure(RunOutcome outcome);

struct RunSummary {
  RunOutcome outcome = RunOutcome::Completed;
  int mailsSent = 0;
  int listLines = 0;
  int messagesRead = 0;
  int toOwnCall = 0;
  std::string ownCall;  // UTF-8; empty when the profile names none
  std::int64_t durationMs = 0;
  bool scheduled = false;  // started by the schedule, not by a command
};

// "完了: 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 1 通), 0:42"
std::string FormatSummary(const RunSummary& summary);

}  // namespace nami

namespace nami {

// A desktop notice for the end of a run (UTF-8).
struct RunNotice {
  std::string title;
  std::string body;
};

// What a run's end is worth telling: messages read that were addressed to
// the station's own call (when `ownMail`), a scheduled run that failed (when
// `failedRun`). Empty when nothing.
std::vector<RunNotice> RunNotices(const RunSummary& summary, bool ownMail, bool failedRun);

}  // namespace nami
