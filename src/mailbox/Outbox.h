// The mailbox window's outgoing messages: a draft saved, a message queued
// into the first free sendN through the compose rule (Compose.h), a queued
// one withdrawn while the run has not yet sent it. Every refusal is one
// sentence from the catalogue (UTF-8) naming what to change.
#pragma once

#include <cstdint>
#include <string>

#include "mailbox/MailStore.h"
#include "settings/Settings.h"

namespace nami::mailbox {

struct SOutboxAnswer {
  bool ok = false;
  std::string text;  // the refusal, or what was done (UTF-8)
};

// Why `o` cannot be queued as it is: the address, the @BBS, a character
// without a CP932 form (its field, line and column); empty when it can.
std::string CheckOutgoing(const SOutgoing& o);
// Stores `o` as a draft (a new one when o.id is 0).
SOutboxAnswer SaveDraft(CMailStore& store, SOutgoing& o, std::int64_t now);
// Writes the mail file and queues it in the first free sendN; a queued `o`
// is withdrawn first, so a change goes out as changed.
SOutboxAnswer QueueOutgoing(CMailStore& store, CSettings& settings, SOutgoing& o, std::int64_t now);
// Takes a queued `o` out of its sendN (its mail file is removed) and keeps
// it as a draft; refused once the run has sent it.
SOutboxAnswer WithdrawOutgoing(CMailStore& store, CSettings& settings, SOutgoing& o);

}  // namespace nami::mailbox
