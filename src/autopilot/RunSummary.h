// The one-line summary at the end of each auto-mode run (the status bar,
// the activity pane, headless standard output), and the desktop notices it
// is worth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "autopilot/RunOutcome.h"

namespace nami {

struct RunSummary {
  RunOutcome outcome = RunOutcome::None;
  std::string detail;  // the device or file and the reason (UTF-8); may be empty
  int mailsSent = 0;
  int listLines = 0;
  int messagesRead = 0;
  int toOwnCall = 0;
  std::string ownCall;  // UTF-8; empty when the profile names none
  std::int64_t durationMs = 0;
  bool scheduled = false;  // started by the schedule, not by a command
};

// "完了 (completed) — 送信 1 通, リスト 12 行, 読み出し 10 通 (QZ1XYZ 宛 1 通), 0:42";
// an aborted run's detail follows its outcome: "応答なし (no answer): nothing
// received for 60 s — 送信 0 通, ...".
// With `japaneseOnly` the outcome is named in Japanese alone ("完了 — ..."),
// as the window shows it; headless standard output keeps both.
std::string FormatSummary(const RunSummary& summary, bool japaneseOnly = false);

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
