// "nami mail compose": writes a mail file the send step can send (CP932,
// the BBS's send command line, the subject, the body) into outbox/ beside
// NAMI.INI and queues it in the first free sendN.
#pragma once

#include <cstdint>
#include <string>

#include "settings/Settings.h"

namespace nami::mailbox {

struct SComposeRequest {
  std::string to, at;  // call and BBS (UTF-8, ASCII in practice)
  bool bulletin = false;
  std::string subject, body;  // UTF-8; body lines end in LF
};

struct SComposeResult {
  bool ok = false;
  std::string error;  // UTF-8, one sentence, when !ok
  std::string file;   // the mail file written (file-system path)
  int slot = -1;      // 0 .. 4
  std::string commandLine;  // UTF-8
};

// The send command line from the profile's template.
std::string SendCommandLine(std::string_view tpl, std::string_view to, std::string_view at);

// The first character of `utf8` CP932 cannot hold, as "X (U+XXXX)"; empty
// when every character has a CP932 form.
std::string FirstUnencodable(std::string_view utf8);

SComposeResult ComposeMail(CSettings& settings, const SComposeRequest& req, std::int64_t now);

}  // namespace nami::mailbox
