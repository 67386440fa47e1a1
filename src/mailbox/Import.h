// Reading the list and mail logs back into the store: for a log written by
// the Windows program or by earlier runs, and to rebuild the store. The
// mail log is split at the BBS prompt and at the read headers; messages are
// joined to the list log's entries by number. Importing the same log again
// adds nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mailbox/MailStore.h"

namespace nami::mailbox {

// A line longer than this is no BBS text: it is skipped and reported.
inline constexpr std::size_t kMaxLogLine = 64 * 1024;

struct SImportSource {
  std::string profile;  // UTF-8
  std::string bbs;
  std::string mailLog;  // file-system paths; either may be empty
  std::string listLog;
  std::string prompt;  // the profile's prompt (CP932); empty: a line ending in ">"
};

struct SImportReport {
  long long messagesAdded = 0;
  long long messagesKnown = 0;  // already in the store
  long long listAdded = 0;
  std::vector<std::string> skipped;  // what was left out, one sentence each (UTF-8)
};

// Whether `line` is the BBS prompt the run waits for.
bool IsPromptLine(std::string_view line, std::string_view prompt);

// One read answer (the lines between a read command and the prompt after
// it) cut into messages at the read headers; text before the first header
// is dropped. An answer without any known header is one message.
std::vector<std::vector<std::string>> SplitReadAnswer(const std::vector<std::string>& lines);

// Reads a log into lines (CR LF, LF or CR ends; CP932 kept), leaving out
// over-long lines and lines holding NUL bytes, which `report` names.
bool ReadLogLines(const std::string& path, std::vector<std::string>& lines, SImportReport& report);

// Imports the logs into the store, all in one transaction per log.
StoreFault ImportLogs(CMailStore& store, const SImportSource& src, SImportReport& report, std::int64_t now);

}  // namespace nami::mailbox
