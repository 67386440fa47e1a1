// What a run hands on beside its logs, for whoever keeps a record of it
// (the station fills the local mailbox from it). The events follow the
// logs: a line arrives here as it goes to the list or mail log. A listener
// can neither stop nor change the run; it is called on the thread that
// drives the autopilot, inside the call that caused the event.
#pragma once

#include <cstddef>
#include <string_view>

namespace nami {

class IRunRecord {
 public:
  virtual ~IRunRecord() = default;
  // A step or an auto-mode run begins (the autopilot was idle).
  virtual void RunBegun() {}
  // A line (CP932, no line end) went to the list log.
  virtual void ListLineLogged(std::string_view /*line*/) {}
  // The read command for mail `number` went out.
  virtual void ReadSent(long long /*number*/) {}
  // A line (CP932, no line end) went to the mail log.
  virtual void MailLineLogged(std::string_view /*line*/) {}
  // The prompt after the read command arrived and everything received
  // since that command is wholly in the mail log.
  virtual void ReadAnswered() {}
  // The BBS took the mail file of sendN (`slot` 0 .. 4) and its key was
  // emptied; `answer` is the BBS's last line before the prompt (CP932).
  virtual void MailSent(std::size_t /*slot*/, std::string_view /*answer*/) {}
};

}  // namespace nami
