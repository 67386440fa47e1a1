#include "mailbox/Recorder.h"

#include <ctime>

#include "mailbox/Import.h"
#include "text/Cp932.h"

namespace nami::mailbox {

std::string BbsCallOf(const CSettings& settings) {
  const std::string call = settings.Raw(keys::Call);
  const std::string_view first = Trim(std::string_view(call).substr(0, call.find(' ')));
  return Upper(first.empty() ? std::string_view("QZ1ABC") : first);
}

SRecorderSetup RecorderSetupFor(const CSettings& settings) {
  SRecorderSetup s;
  s.storePath = CMailStore::PathBeside(settings.Path());
  s.profile = Cp932ToUtf8(settings.ProfileSection());
  s.bbs = BbsCallOf(settings);
  s.prompt = settings.Raw(keys::Prompt);
  s.listLog = settings.ListFilePath();
  s.mailLog = settings.MailFilePath();
  return s;
}

CMailboxRecorder::CMailboxRecorder(SRecorderSetup setup) : setup_(std::move(setup)), store_(setup_.storePath) {}

std::int64_t CMailboxRecorder::Now() const {
  return setup_.now ? setup_.now() : static_cast<std::int64_t>(std::time(nullptr));
}

StoreFault CMailboxRecorder::EnsureOpen() { return store_.IsOpen() ? StoreFault{} : store_.Open(); }

bool CMailboxRecorder::Pausing() {
  if (Now() >= pauseUntil_) return false;
  behind_ = true;
  return true;
}

std::optional<StoreFault> CMailboxRecorder::Outcome(StoreFault f) {
  if (f) {
    behind_ = true;
    // Each write would wait the whole busy timeout again: the run's lines
    // go to the logs alone for a while, and are caught up from them later.
    if (f.kind == FaultKind::Locked) pauseUntil_ = Now() + kLockedPauseSeconds;
    if (told_) return std::nullopt;
    told_ = true;
    return f;
  }
  told_ = false;
  if (behind_) {
    // Whatever the failed writes missed is in the logs: import them (what
    // is stored already is recognised and left as it is).
    SImportSource src{setup_.profile, setup_.bbs, setup_.mailLog, setup_.listLog, setup_.prompt};
    SImportReport report;
    StoreFault cf = ImportLogs(store_, src, report, Now());
    while (!cf && !unsent_.empty()) {
      const SSentMark& m = unsent_.front();
      cf = store_.MarkSent(setup_.profile, m.slot, m.answerUtf8, m.when);
      if (!cf) unsent_.erase(unsent_.begin());
    }
    if (cf) {
      told_ = true;
      return cf;
    }
    behind_ = false;
  }
  return std::nullopt;
}

std::optional<StoreFault> CMailboxRecorder::CatchUp() {
  if (!behind_ || Pausing()) return std::nullopt;
  return Outcome(EnsureOpen());
}

std::optional<StoreFault> CMailboxRecorder::OnListLine(std::string_view line) {
  SListEntry e;
  if (!ParseListLine(line, e) || Pausing()) return std::nullopt;
  StoreFault f = EnsureOpen();
  if (!f) f = store_.AddListEntry(setup_.profile, setup_.bbs, e, Now());
  return Outcome(f);
}

void CMailboxRecorder::OnReadCommand(long long number) {
  reading_ = number;
  lines_.clear();
}

void CMailboxRecorder::OnMessageLine(std::string_view line) {
  if (reading_ >= 0) lines_.emplace_back(line);
}

std::optional<StoreFault> CMailboxRecorder::OnPromptAfterRead() {
  if (reading_ < 0) return std::nullopt;
  std::vector<std::string> lines;
  lines.swap(lines_);
  const long long number = reading_;
  reading_ = -1;
  if (Pausing()) return std::nullopt;
  // The prompt line itself ends the answer and is no part of it.
  while (!lines.empty() && IsPromptLine(lines.back(), setup_.prompt)) lines.pop_back();
  const auto messages = SplitReadAnswer(lines);
  StoreFault f = EnsureOpen();
  if (!f)
    f = InTransaction(store_, [&]() -> StoreFault {
      for (const auto& m : messages) {
        SMessageIn in;
        in.profile = setup_.profile;
        in.bbs = setup_.bbs;
        // One message per read command: it is the one asked for.
        in.number = messages.size() == 1 ? number : -1;
        in.lines = m;
        in.run = setup_.run;
        in.receivedAt = Now();
        if (StoreFault af = store_.AddMessage(in)) return af;
      }
      return {};
    });
  return Outcome(f);
}

std::optional<StoreFault> CMailboxRecorder::OnMailSent(int slot, std::string_view answerLine) {
  const std::string answer = Cp932ToUtf8(answerLine);
  if (Pausing()) {
    unsent_.push_back({slot, answer, Now()});
    return std::nullopt;
  }
  StoreFault f = EnsureOpen();
  if (!f) f = store_.MarkSent(setup_.profile, slot, answer, Now());
  if (f) unsent_.push_back({slot, answer, Now()});
  return Outcome(f);
}

}  // namespace nami::mailbox
