// The run activity: every step the autopilot takes, every text nami sends
// on its own and how each run ended, time-stamped, for the activity pane
// and the headless runner's error stream. It keeps nothing itself and is no
// part of the line store or the document file: each entry goes to the
// listeners at once.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "time/Clock.h"

namespace nami {

enum class ActivityKind {
  Step,     // a step begins ("メール送信"), a file goes out
  Sent,     // text nami sent on its own (shown with "> ")
  Note,     // something worth knowing that changes nothing (a skipped file)
  Outcome,  // how a run ended, and its summary
};

struct ActivityEntry {
  std::time_t time = 0;
  ActivityKind kind = ActivityKind::Note;
  std::string text;  // UTF-8
};

class CActivity {
 public:
  using Listener = std::function<void(const ActivityEntry&)>;

  explicit CActivity(const IClock& clock) : clock_(clock) {}

  // Text is UTF-8.
  void Add(ActivityKind kind, std::string text);
  // Sent text is CP932 as it goes to the link: one entry per CR-ended
  // piece, control bytes shown as ^X.
  void AddSent(std::string_view cp932);
  // Listeners are called in the order they were added; the returned id
  // removes one again.
  int Listen(Listener listener);
  void Unlisten(int id);

 private:
  const IClock& clock_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextId_ = 1;
};

// "HH:MM:SS  text", sent text as "HH:MM:SS  > text" (local time).
std::string FormatActivity(const ActivityEntry& entry);
// The CR-ended pieces of CP932 link text as UTF-8 lines, control bytes as
// ^X; an empty piece between two CRs stays (a bare CR was sent).
std::vector<std::string> VisibleSentText(std::string_view cp932);

// Progress of a file or text going out: "name 1,200/4,000 バイト 96 B/s"
// (UTF-8; the rate once a second has passed).
std::string FormatProgress(std::string_view nameUtf8, std::int64_t done, std::int64_t total, std::int64_t elapsedMs);

}  // namespace nami
