#include "mailbox/Import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/ShiftJis.h"

namespace nami::mailbox {

bool IsPromptLine(std::string_view line, std::string_view prompt) {
  const std::string_view t = Trim(line);
  if (t.empty()) return false;
  // The run's default wait text is ">": any short line ending in it.
  if (prompt.empty() || prompt == ">") return t.back() == '>' && t.size() <= 80;
  return ContainsAtCharStart(line, prompt);
}

std::vector<std::vector<std::string>> SplitReadAnswer(const std::vector<std::string>& lines) {
  std::vector<std::vector<std::string>> out;
  const std::vector<std::size_t> starts = MessageStarts(lines);
  auto hasText = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
      if (!Trim(lines[i]).empty()) return true;
    return false;
  };
  if (starts.empty()) {
    if (hasText(0, lines.size())) out.push_back(lines);
    return out;
  }
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t to = k + 1 < starts.size() ? starts[k + 1] : lines.size();
    out.emplace_back(lines.begin() + static_cast<std::ptrdiff_t>(starts[k]),
                     lines.begin() + static_cast<std::ptrdiff_t>(to));
  }
  return out;
}

bool ReadLogLines(const std::string& path, std::vector<std::string>& lines, SImportReport& report) {
  lines.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    report.skipped.push_back(path + ": " + std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    report.skipped.push_back(path + ": not a regular file");
    ::close(fd);
    return false;
  }
  std::string line;
  bool overlong = false, binary = false;
  long long lineNo = 1, overlongCount = 0, binaryCount = 0;
  auto finish = [&] {
    if (overlong) {
      ++overlongCount;
      report.skipped.push_back(path + ": line " + std::to_string(lineNo) + " is longer than " +
                               std::to_string(kMaxLogLine) + " bytes: skipped");
    } else if (binary) {
      ++binaryCount;
    } else {
      lines.push_back(std::move(line));
    }
    line.clear();
    overlong = binary = false;
    ++lineNo;
  };
  char buf[1 << 16];
  bool lastWasCr = false;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      report.skipped.push_back(path + ": " + std::strerror(errno) + " after line " + std::to_string(lineNo));
      break;
    }
    if (n == 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buf[i];
      if (c == '\n' && lastWasCr) {
        lastWasCr = false;
        continue;
      }
      lastWasCr = c == '\r';
      if (c == '\r' || c == '\n') {
        finish();
        continue;
      }
      if (c == '\0') binary = true;
      if (overlong || binary) continue;
      if (line.size() >= kMaxLogLine) {
        overlong = true;
        line.clear();
        continue;
      }
      line.push_back(c);
    }
  }
  if (!line.empty() || overlong || binary) finish();
  ::close(fd);
  if (binaryCount > 0)
    report.skipped.push_back(path + ": " + std::to_string(binaryCount) + " line(s) holding NUL bytes (not text): skipped");
  (void)overlongCount;
  return true;
}

namespace {

StoreFault ImportList(CMailStore& store, const SImportSource& src, const std::vector<std::string>& lines,
                      SImportReport& report, std::int64_t now) {
  return InTransaction(store, [&]() -> StoreFault {
    for (const std::string& line : lines) {
      SListEntry e;
      if (!ParseListLine(line, e)) continue;
      bool added = false;
      if (StoreFault f = store.AddListEntry(src.profile, src.bbs, e, now, &added)) return f;
      report.listAdded += added ? 1 : 0;
    }
    return {};
  });
}

StoreFault ImportMail(CMailStore& store, const SImportSource& src, const std::vector<std::string>& lines,
                      SImportReport& report, std::int64_t now) {
  std::vector<std::vector<std::string>> answers(1);
  long long prompts = 0;
  for (const std::string& line : lines) {
    if (IsPromptLine(line, src.prompt)) {
      ++prompts;
      answers.emplace_back();
    } else {
      answers.back().push_back(line);
    }
  }
  long long unknown = 0;
  StoreFault f = InTransaction(store, [&]() -> StoreFault {
    if (StoreFault bf = store.BeginBulk()) return bf;
    for (const auto& answer : answers) {
      const auto messages = SplitReadAnswer(answer);
      // Without a prompt to split at, only text under read headers counts.
      for (const auto& m : messages) {
        if (prompts == 0 && MessageStarts(m).empty()) {
          ++unknown;
          continue;
        }
        SMessageIn in;
        in.profile = src.profile;
        in.bbs = src.bbs;
        in.lines = m;
        in.receivedAt = now;
        bool added = false;
        if (StoreFault af = store.AddMessage(in, &added)) return af;
        (added ? report.messagesAdded : report.messagesKnown) += 1;
      }
    }
    return store.EndBulk();
  });
  if (prompts == 0 && !lines.empty())
    report.skipped.push_back(src.mailLog + ": no BBS prompt found; only text under read headers was imported");
  if (unknown > 0)
    report.skipped.push_back(src.mailLog + ": " + std::to_string(unknown) +
                             " piece(s) of text with neither prompt nor read headers: skipped");
  return f;
}

}  // namespace

StoreFault ImportLogs(CMailStore& store, const SImportSource& src, SImportReport& report, std::int64_t now) {
  std::vector<std::string> lines;
  // The list first, so that the messages find their entries.
  if (!src.listLog.empty() && ReadLogLines(src.listLog, lines, report))
    if (StoreFault f = ImportList(store, src, lines, report, now)) return f;
  if (!src.mailLog.empty() && ReadLogLines(src.mailLog, lines, report))
    if (StoreFault f = ImportMail(store, src, lines, report, now)) return f;
  return {};
}

}  // namespace nami::mailbox
