#include "station/MailboxFeed.h"

#include "text/Messages.h"
#include "time/Clock.h"

namespace nami {

namespace {
bool SameStore(const mailbox::SRecorderSetup& a, const mailbox::SRecorderSetup& b) {
  return a.storePath == b.storePath && a.profile == b.profile && a.bbs == b.bbs && a.prompt == b.prompt &&
         a.listLog == b.listLog && a.mailLog == b.mailLog;
}
}  // namespace

void CMailboxFeed::RunBegun() {
  mailbox::SRecorderSetup setup = mailbox::RecorderSetupFor(settings_);
  setup.run = FormatLocalTime("%Y-%m-%d %H:%M:%S", clock_.Now());
  if (recorder_ && SameStore(recorder_->Setup(), setup)) {
    recorder_->SetRun(setup.run);
    // What the last runs could not store is in the logs: take it now, before
    // this run empties the list log.
    if (recorder_->Behind()) Tell(true, recorder_->CatchUp());
    return;
  }
  setup.now = [&clock = clock_] { return static_cast<std::int64_t>(clock.Now()); };
  recorder_ = std::make_unique<mailbox::CMailboxRecorder>(std::move(setup));
}

mailbox::CMailboxRecorder& CMailboxFeed::Current() {
  if (!recorder_) RunBegun();
  return *recorder_;
}

void CMailboxFeed::Tell(bool wasBehind, const std::optional<mailbox::StoreFault>& fault) {
  if (fault) {
    activity_.Add(ActivityKind::Note, msg::Format(msg::MailboxNotWritten, {{"reason", fault->Text()}}));
  } else if (wasBehind && !recorder_->Behind()) {
    activity_.Add(ActivityKind::Note, msg::Format(msg::MailboxCaughtUp, {{"file", recorder_->Setup().storePath}}));
  }
}

void CMailboxFeed::ListLineLogged(std::string_view line) {
  mailbox::CMailboxRecorder& r = Current();
  const bool behind = r.Behind();
  Tell(behind, r.OnListLine(line));
}

void CMailboxFeed::ReadSent(long long number) { Current().OnReadCommand(number); }

void CMailboxFeed::MailLineLogged(std::string_view line) { Current().OnMessageLine(line); }

void CMailboxFeed::ReadAnswered() {
  mailbox::CMailboxRecorder& r = Current();
  const bool behind = r.Behind();
  Tell(behind, r.OnPromptAfterRead());
}

void CMailboxFeed::MailSent(std::size_t slot, std::string_view answer) {
  mailbox::CMailboxRecorder& r = Current();
  const bool behind = r.Behind();
  Tell(behind, r.OnMailSent(static_cast<int>(slot), answer));
}

}  // namespace nami
