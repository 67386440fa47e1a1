// The seam through which a run fills the store. The run calls it as the
// list and mail logs are written; it never stops or changes the run: every
// call catches its own failures, and the first failure after a success is
// returned once (the run's activity names the file and the reason). The
// next successful write then catches up from the logs, which the run kept
// writing meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailbox/MailStore.h"
#include "settings/Settings.h"

namespace nami::mailbox {

struct SRecorderSetup {
  std::string storePath;  // mailbox.sqlite
  std::string profile;    // UTF-8
  std::string bbs;
  std::string run;       // names this run in the store (e.g. its start time)
  std::string prompt;    // the profile's prompt (CP932)
  std::string listLog;   // the logs, for catching up (file-system paths)
  std::string mailLog;
  std::function<std::int64_t()> now;  // seconds since the epoch; default: the system clock
};

// The BBS whose mail a profile keeps: the connect call ("call") without
// what follows it, in capitals; "QZ1ABC" when none is set, as the connect
// step does. `nami mail` and the run both file mail under it.
std::string BbsCallOf(const CSettings& settings);

// The recorder's setup for the settings' profile: the store beside the
// settings file, the profile's name (UTF-8), BBS, prompt and logs.
SRecorderSetup RecorderSetupFor(const CSettings& settings);

class CMailboxRecorder {
 public:
  // How long writes wait after the store stayed locked (by another
  // program) for the whole busy timeout.
  static constexpr std::int64_t kLockedPauseSeconds = 60;

  explicit CMailboxRecorder(SRecorderSetup setup);

  // A line the list step wrote to the list log; a numbered entry is stored.
  std::optional<StoreFault> OnListLine(std::string_view line);
  // The read command for `number` went out: the lines until the prompt
  // after it belong to that message.
  void OnReadCommand(long long number);
  // A line the read step wrote to the mail log.
  void OnMessageLine(std::string_view line);
  // The prompt after the read arrived: the lines since the read command
  // become one message, joined to its list entry, in one transaction.
  std::optional<StoreFault> OnPromptAfterRead();
  // The send step cleared sendN (slot 0 .. 4): its outgoing message is sent,
  // with the BBS's answer line (CP932).
  std::optional<StoreFault> OnMailSent(int slot, std::string_view answerLine);

  // When behind: tries to catch up from the logs now (a new run begins),
  // with the outcome of a write.
  std::optional<StoreFault> CatchUp();
  // Names the run the messages read from now on belong to.
  void SetRun(std::string run) { setup_.run = std::move(run); }
  const SRecorderSetup& Setup() const { return setup_; }

  // Whether a write has failed since the last catch-up.
  bool Behind() const { return behind_; }
  const CMailStore& Store() const { return store_; }

 private:
  // The outcome of one write: nothing on success (then catches up when
  // behind), the fault the first time after a success.
  std::optional<StoreFault> Outcome(StoreFault f);
  // Whether writes wait after a lock that outlasted the busy timeout (then
  // the store is behind).
  bool Pausing();
  StoreFault EnsureOpen();
  std::int64_t Now() const;

  // A sent mail the store could not be told of: the logs do not keep it,
  // so it is told again when the store catches up.
  struct SSentMark {
    int slot;
    std::string answerUtf8;
    std::int64_t when;
  };

  SRecorderSetup setup_;
  CMailStore store_;
  std::vector<SSentMark> unsent_;
  long long reading_ = -1;
  std::vector<std::string> lines_;
  bool behind_ = false;
  bool told_ = false;
  std::int64_t pauseUntil_ = 0;  // Now() until which no write is tried
};

}  // namespace nami::mailbox
