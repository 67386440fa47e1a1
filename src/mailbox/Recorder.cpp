#include "mailbox/Recorder.h"

#include <ctime>

#include "mailbox/Import.h"
#include "text/Cp932.h"

namespace nami::mailbox {

CMailboxRecorder::CMailboxRecorder(SRecorderSetup setup) : setup_(std::move(setup)), store_(setup_.storePath) {}

std::int64_t CMailboxRecorder::Now() const {
  return setup_.now ? setup_.now() : static_cast<std::int64_t>(std::time(nullptr));
}

StoreFault CMailboxRecorder::EnsureOpen() { return store_.IsOpen() ? StoreFault{} : store_.Open(); }

std::optional<StoreFault> CMailboxRecorder::Outcome(StoreFault f) {
  if (f) {
    behind_ = true;
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
    if (StoreFault cf = ImportLogs(store_, src, report, Now())) {
      told_ = true;
      return cf;
    }
    behind_ = false;
  }
  return std::nullopt;
}

std::optional<StoreFault> CMailboxRecorder::OnListLine(std::string_view line) {
  SListEntry e;
  if (!ParseListLine(line, e)) return std::nullopt;
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
  StoreFault f = EnsureOpen();
  if (!f) f = store_.MarkSent(setup_.profile, slot, Cp932ToUtf8(answerLine), Now());
  return Outcome(f);
}

}  // namespace nami::mailbox
