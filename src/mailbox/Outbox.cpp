#include "mailbox/Outbox.h"

#include <unistd.h>

#include <cctype>

#include "mailbox/Compose.h"
#include "mailbox/Reply.h"
#include "text/IniPath.h"
#include "text/Messages.h"

namespace nami::mailbox {
namespace {

bool IsBbsAddress(std::string_view at) {
  if (at.empty() || at.size() > 40) return at.empty();
  for (char c : at)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '#' && c != '-') return false;
  return true;
}

}  // namespace

std::string CheckOutgoing(const SOutgoing& o) {
  if (o.bulletin ? !IsBulletinAddress(o.to) : !IsCallsign(o.to))
    return msg::Format(o.bulletin ? msg::BadCategory : msg::BadCall, {{"call", o.to}});
  if (!IsBbsAddress(o.at)) return msg::Format(msg::BadBbs, {{"bbs", o.at}});
  for (const auto& [field, text] : {std::pair{&msg::FieldSubject, &o.subject}, std::pair{&msg::FieldBody, &o.body}}) {
    const SUnencodable u = FindUnencodable(*text);
    if (u.found)
      return msg::Format(msg::NoCp932Form, {{"field", *field},
                                            {"line", std::to_string(u.line)},
                                            {"column", std::to_string(u.column)},
                                            {"char", u.character},
                                            {"code", u.code}});
  }
  return {};
}

SOutboxAnswer SaveDraft(CMailStore& store, SOutgoing& o, std::int64_t now) {
  SOutboxAnswer a;
  o.state = "draft";
  o.slot = -1;
  StoreFault f;
  if (o.id == 0) {
    o.createdAt = now;
    f = store.AddOutgoing(o);
  } else {
    f = store.UpdateOutgoing(o);
  }
  a.ok = !f;
  a.text = f ? msg::Format(msg::MailboxFault, {{"reason", f.Text()}}) : msg::DraftSaved;
  return a;
}

SOutboxAnswer QueueOutgoing(CMailStore& store, CSettings& settings, SOutgoing& o, std::int64_t now) {
  SOutboxAnswer a;
  a.text = CheckOutgoing(o);
  if (!a.text.empty()) return a;
  if (o.state == "queued") {
    a = WithdrawOutgoing(store, settings, o);
    if (!a.ok) return a;
    a = {};
  }
  bool free = false;
  for (const KeySpec& key : keys::Send) free = free || settings.Raw(key).empty();
  if (!free) {
    a.text = msg::SlotsFull;
    return a;
  }
  SComposeRequest req;
  req.to = o.to;
  req.at = o.at;
  req.bulletin = o.bulletin;
  req.subject = o.subject;
  req.body = o.body;
  const SComposeResult r = ComposeMail(settings, req, now);
  if (!r.ok) {
    a.text = msg::Format(msg::ComposeFailed, {{"reason", r.error}});
    return a;
  }
  o.state = "queued";
  o.slot = r.slot;
  o.file = r.file;
  if (o.createdAt == 0) o.createdAt = now;
  const StoreFault f = o.id == 0 ? store.AddOutgoing(o) : store.UpdateOutgoing(o);
  // The mail is queued in NAMI.INI either way; the store only shows it.
  a.ok = true;
  a.text = f ? msg::Format(msg::MailboxFault, {{"reason", f.Text()}})
             : msg::Format(msg::QueuedInSlot, {{"slot", std::to_string(r.slot + 1)}, {"file", r.file}});
  return a;
}

SOutboxAnswer WithdrawOutgoing(CMailStore& store, CSettings& settings, SOutgoing& o) {
  SOutboxAnswer a;
  if (o.state != "queued" || o.slot < 0 || o.slot >= static_cast<int>(keys::Send.size())) {
    a.text = msg::AlreadySent;
    return a;
  }
  // The run clears sendN as it sends the file: a key that no longer names
  // this file means it went out (or the user queued another in its place).
  const KeySpec& key = keys::Send[static_cast<std::size_t>(o.slot)];
  const std::optional<std::string> iniName = FsPathToIni(o.file);
  if (!iniName || settings.Raw(key) != *iniName) {
    a.text = msg::AlreadySent;
    return a;
  }
  if (!settings.Set(key, "")) {
    a.text = msg::Format(msg::ComposeFailed, {{"reason", settings.Path()}});
    return a;
  }
  ::unlink(o.file.c_str());
  o.state = "draft";
  o.slot = -1;
  o.file.clear();
  const StoreFault f = store.UpdateOutgoing(o);
  a.ok = true;
  a.text = f ? msg::Format(msg::MailboxFault, {{"reason", f.Text()}}) : msg::Withdrawn;
  return a;
}

}  // namespace nami::mailbox
