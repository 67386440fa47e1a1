// The run's record in the local mailbox: what the autopilot writes to the
// list and mail logs, and the mail the BBS took, goes to mailbox.sqlite
// beside NAMI.INI as well (mailbox/Recorder.h). The logs stay the record:
// a store that cannot be written is named once in the activity, the run
// goes on as if there were none, and the next write that succeeds catches
// up from the logs.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "activity/Activity.h"
#include "autopilot/RunRecord.h"
#include "mailbox/Recorder.h"
#include "settings/Settings.h"
#include "time/Clock.h"

namespace nami {

class CMailboxFeed final : public IRunRecord {
 public:
  CMailboxFeed(const CSettings& settings, IClock& clock, CActivity& activity)
      : settings_(settings), clock_(clock), activity_(activity) {}

  // Takes the profile as it is now; a recorder for the same store, profile
  // and logs is kept, so that a store left behind is caught up later.
  void RunBegun() override;
  void ListLineLogged(std::string_view line) override;
  void ReadSent(long long number) override;
  void MailLineLogged(std::string_view line) override;
  void ReadAnswered() override;
  void MailSent(std::size_t slot, std::string_view answer) override;

  // The recorder of the last run (nullptr before the first).
  const mailbox::CMailboxRecorder* Recorder() const { return recorder_.get(); }

 private:
  mailbox::CMailboxRecorder& Current();
  // Tells the activity of a fault (the recorder returns each one once) and
  // of a store that has caught up.
  void Tell(bool wasBehind, const std::optional<mailbox::StoreFault>& fault);

  const CSettings& settings_;
  IClock& clock_;
  CActivity& activity_;
  std::unique_ptr<mailbox::CMailboxRecorder> recorder_;
};

}  // namespace nami
