#include "mailbox/Import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

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

namespace {

// Cuts a log's bytes, handed over in pieces, into lines: CR LF, LF or CR
// ends a line; a line holding NUL bytes or longer than kMaxLogLine is left
// out and counted or named in the report.
class CLineCutter {
 public:
  CLineCutter(const std::string& path, std::vector<std::string>& lines, SImportReport& report)
      : path_(path), lines_(lines), report_(report) {}

  void Feed(const char* p, std::size_t n) {
    std::size_t i = 0;
    if (n > 0 && lastWasCr_ && p[0] == '\n') i = 1;  // the LF of a CR LF split between pieces
    lastWasCr_ = false;
    while (i < n) {
      std::size_t j = i;
      while (j < n && p[j] != '\r' && p[j] != '\n' && p[j] != '\0') ++j;
      Append(p + i, j - i);
      if (j == n) break;
      if (p[j] == '\0') {
        binary_ = true;
        i = j + 1;
        continue;
      }
      EndLine();
      if (p[j] == '\r' && j + 1 < n && p[j + 1] == '\n') ++j;
      lastWasCr_ = p[j] == '\r' && j + 1 == n;
      i = j + 1;
    }
  }

  // The last line, when the log does not end with a line end.
  void Finish() {
    if (!line_.empty() || overlong_ || binary_) EndLine();
    if (binaryCount_ > 0)
      report_.skipped.push_back(path_ + ": " + std::to_string(binaryCount_) +
                                " line(s) holding NUL bytes (not text): skipped");
  }
  long long LineNumber() const { return lineNo_; }

 private:
  void Append(const char* p, std::size_t n) {
    if (overlong_ || binary_ || n == 0) return;
    if (line_.size() + n > kMaxLogLine) {
      overlong_ = true;
      line_.clear();
      return;
    }
    line_.append(p, n);
  }

  void EndLine() {
    if (overlong_) {
      report_.skipped.push_back(path_ + ": line " + std::to_string(lineNo_) + " is longer than " +
                                std::to_string(kMaxLogLine) + " bytes: skipped");
    } else if (binary_) {
      ++binaryCount_;
    } else {
      lines_.push_back(std::move(line_));
    }
    line_.clear();
    overlong_ = binary_ = false;
    ++lineNo_;
  }

  const std::string& path_;
  std::vector<std::string>& lines_;
  SImportReport& report_;
  std::string line_;
  bool overlong_ = false, binary_ = false, lastWasCr_ = false;
  long long lineNo_ = 1, binaryCount_ = 0;
};

// The log opened for reading, or -1 with the reason in the report.
int OpenLog(const std::string& path, SImportReport& report) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    report.skipped.push_back(path + ": " + std::strerror(errno));
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    report.skipped.push_back(path + ": not a regular file");
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool ReadLogLines(const std::string& path, std::vector<std::string>& lines, SImportReport& report) {
  lines.clear();
  const int fd = OpenLog(path, report);
  if (fd < 0) return false;
  CLineCutter cutter(path, lines, report);
  static thread_local char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      report.skipped.push_back(path + ": " + std::strerror(errno) + " after line " +
                               std::to_string(cutter.LineNumber()));
      break;
    }
    if (n == 0) break;
    cutter.Feed(buf, static_cast<std::size_t>(n));
  }
  cutter.Finish();
  ::close(fd);
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

// The log's lines as read answers: cut at every prompt line (left out).
std::vector<std::vector<std::string>> CutAtPrompts(std::vector<std::string>& lines, std::string_view prompt,
                                                   long long& prompts) {
  std::vector<std::vector<std::string>> answers(1);
  prompts = 0;
  for (std::string& line : lines) {
    if (IsPromptLine(line, prompt)) {
      ++prompts;
      answers.emplace_back();
    } else {
      answers.back().push_back(std::move(line));
    }
  }
  return answers;
}

// SplitReadAnswer, moving the lines instead of copying them.
std::vector<std::vector<std::string>> SplitMoving(std::vector<std::string>& lines) {
  const std::vector<std::size_t> starts = MessageStarts(lines);
  if (starts.empty()) return SplitReadAnswer(lines);
  std::vector<std::vector<std::string>> out;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t to = k + 1 < starts.size() ? starts[k + 1] : lines.size();
    out.emplace_back(std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(starts[k])),
                     std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(to)));
  }
  return out;
}

StoreFault ImportMail(CMailStore& store, const SImportSource& src, std::vector<std::string>& lines,
                      SImportReport& report, std::int64_t now) {
  const bool empty = lines.empty();
  long long prompts = 0;
  std::vector<std::vector<std::string>> answers = CutAtPrompts(lines, src.prompt, prompts);
  long long unknown = 0;
  SMessageIn in;
  in.profile = src.profile;
  in.bbs = src.bbs;
  in.receivedAt = now;
  StoreFault f = InTransaction(store, [&]() -> StoreFault {
    if (StoreFault bf = store.BeginBulk()) return bf;
    for (auto& answer : answers) {
      for (auto& m : SplitMoving(answer)) {
        // Without a prompt to split at, only text under read headers counts.
        if (prompts == 0 && MessageStarts(m).empty()) {
          ++unknown;
          continue;
        }
        in.lines = std::move(m);
        bool added = false;
        if (StoreFault af = store.AddMessage(in, &added)) return af;
        (added ? report.messagesAdded : report.messagesKnown) += 1;
      }
    }
    return store.EndBulk();
  });
  if (prompts == 0 && !empty)
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
