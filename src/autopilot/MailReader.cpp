#include "autopilot/MailReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "files/UserFile.h"
#include "text/Cp932.h"
#include "text/Messages.h"
#include "text/ShiftJis.h"

namespace nami {

void CMailReader::LoadListLines(const std::string& path) {
  ListLines.clear();
  // A list log that is missing, unreadable or not a regular file is an
  // empty list.
  FileFault fault;
  std::FILE* f = OpenUserStream(path, UserFileMode::Read, fault);
  if (!f) return;
  std::string piece;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    // The log is text with CR LF line ends; a line is read back with a
    // single line feed, as written.
    if (c == '\r') {
      int next = std::fgetc(f);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, f);
      }
    }
    piece += static_cast<char>(c);
    if (c == '\n' || piece.size() == kPieceSize) {
      ListLines.push_back(std::move(piece));
      piece.clear();
    }
  }
  if (!piece.empty()) ListLines.push_back(std::move(piece));
  // Half a list would let "LastMailNo" pass mail in the part never read.
  if (std::ferror(f)) ListLines.clear();
  std::fclose(f);
}

std::string CMailReader::Prepare() {
  CSettings& s = doc_.Settings();
  const std::string listFile = s.ListFilePath();
  const std::string mailFile = s.MailFilePath();

  std::string last = s.Raw(keys::LastMailNo);
  if (last.empty()) {
    last = "   10";
    s.Set(keys::LastMailNo, last);
  }
  StartMailNo = HighMailNo = last;
  pending_ = -1;
  readCommand_ = s.Raw(keys::ReadCom);

  LoadListLines(listFile);
  for (std::size_t n = 0; n < ReadPatterns.size(); ++n) {
    std::string field = s.Raw(keys::Field[n]);
    if (!field.empty()) ReadPatterns[n] = std::move(field);
  }
  limit_ = s.Raw(keys::LimitMode) == "TRUE";
  ListLineCursor = static_cast<std::ptrdiff_t>(ListLines.size()) - 1;
  ReadsPlanned = Requested = ReadsForOwnCall = 0;
  for (const std::string& line : ListLines) ReadsPlanned += Qualifies(line) ? 1 : 0;
  marked_ = MarkedSource ? MarkedSource() : std::vector<long long>{};
  ReadsPlanned += static_cast<int>(marked_.size());
  asked_.clear();
  recorded_ = false;
  pendingMarked_ = -1;
  return mailFile;
}

StepEvent CMailReader::SendFirstRead() {
  if (ListLines.empty()) {
    recorded_ = true;  // an empty list moves nothing
    return marked_.empty() ? StepEvent::NothingSent : SendNextMarked();
  }
  return ExamineNextLine();
}

bool CMailReader::Qualifies(const std::string& line) const {
  if (LeadingNumber(line) <= LeadingNumber(StartMailNo)) return false;
  if (!limit_) return true;
  for (const std::string& pattern : ReadPatterns) {
    if (!pattern.empty() && ContainsAtCharStart(line, pattern)) return true;
  }
  return false;
}

namespace {
// Whether the list line's "To" column names `call`: the fourth word, after
// the number, the type and status, and the size ("1224  PN  512 QZ1XYZ
// @QZ1ABC QZ1ABC ..."), compared without letter case.
bool AddressedTo(const std::string& line, const std::string& call) {
  if (call.empty()) return false;
  std::size_t at = 0;
  std::string word;
  for (int n = 0; n < 4; ++n) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos) return false;
    const std::size_t end = std::min(line.find_first_of(" \t\r\n", at), line.size());
    word = line.substr(at, end - at);
    at = end;
  }
  if (word.size() != call.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != std::toupper(static_cast<unsigned char>(call[i])))
      return false;
  return true;
}
}  // namespace

StepEvent CMailReader::ExamineNextLine() {
  const std::string& line = ListLines[static_cast<std::size_t>(ListLineCursor--)];
  const long long number = LeadingNumber(line);
  const std::string text = std::to_string(number);

  if (number > LeadingNumber(HighMailNo)) HighMailNo = text;

  if (Qualifies(line)) {
    ++Requested;
    if (AddressedTo(line, doc_.Settings().MyCall())) ++ReadsForOwnCall;
    asked_.insert(number);
    doc_.SendOwn(readCommand_ + " " + text + "\r");
    if (IRunRecord* record = run_.Record()) record->ReadSent(number);
    pending_ = number;
    lostMark_ = run_.LogLinesLost();
    return StepEvent::CommandSent;
  }
  // Nothing to ask: the prompt still standing lets the wait move on.
  return StepEvent::NothingAsked;
}

StepEvent CMailReader::ReadNextMail() {
  CSettings& s = doc_.Settings();
  if (pending_ >= 0 && run_.LogLinesLost() != lostMark_) {
    // A marked read comes after "LastMailNo" was written: nothing to move back.
    if (pendingMarked_ < 0) SaveHighestLogged(pending_);
    return StepEvent::LogFailed;
  }
  // A marked number the BBS no longer has leaves no message in the record.
  const bool answered = pending_ >= 0 && FinishMarked();
  if (answered) {
    if (IRunRecord* record = run_.Record()) record->ReadAnswered();
  }
  pending_ = -1;
  readCommand_ = s.Raw(keys::ReadCom);
  limit_ = s.Raw(keys::LimitMode) == "TRUE";
  if (ListLineCursor < 0) {
    if (!recorded_) {
      if (!s.Set(keys::LastMailNo, HighMailNo)) return StepEvent::NotRecorded;
      recorded_ = true;
    }
    return SendNextMarked();
  }
  return ExamineNextLine();
}

namespace {
long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}
}  // namespace

StepEvent CMailReader::SendNextMarked() {
  while (!marked_.empty()) {
    const long long number = marked_.front();
    marked_.erase(marked_.begin());
    // Read already as a new one in this step: it is in the log.
    if (asked_.contains(number)) {
      if (MarkedDone) MarkedDone(number, true);
      --ReadsPlanned;
      continue;
    }
    asked_.insert(number);
    ++Requested;
    pending_ = pendingMarked_ = number;
    lostMark_ = run_.LogLinesLost();
    logMark_ = FileSize(doc_.Settings().MailFilePath());
    doc_.SendOwn(readCommand_ + " " + std::to_string(number) + "\r");
    if (IRunRecord* record = run_.Record()) record->ReadSent(number);
    return StepEvent::CommandSent;
  }
  return StepEvent::Complete;
}

bool CMailReader::FinishMarked() {
  if (pendingMarked_ < 0) return true;
  const long long number = std::exchange(pendingMarked_, -1);
  // The answer as the mail log took it, from where it stood at the command.
  std::string answer;
  if (std::FILE* f = std::fopen(doc_.Settings().MailFilePath().c_str(), "rb")) {
    if (std::fseek(f, static_cast<long>(logMark_), SEEK_SET) == 0) {
      char buf[4096];
      std::size_t n;
      while (answer.size() < 64 * 1024 && (n = std::fread(buf, 1, sizeof buf, f)) > 0) answer.append(buf, n);
    }
    std::fclose(f);
  }
  const bool found = !SaysNotFound(answer);
  if (!found) {
    doc_.Report(ActivityKind::Note, msg::Format(msg::MarkedMissing, {{"number", std::to_string(number)}}));
    --Requested;
  }
  if (MarkedDone) MarkedDone(number, found);
  return found;
}

bool CMailReader::SaysNotFound(std::string_view answer) {
  static constexpr std::string_view kSayings[] = {"not found", "no such", "invalid", "not exist", "no message",
                                                  "doesn't exist", "not available"};
  int lines = 0;
  bool saying = false;
  std::size_t p = 0;
  while (p < answer.size()) {
    std::size_t e = answer.find('\n', p);
    if (e == std::string_view::npos) e = answer.size();
    std::string line(answer.substr(p, e - p));
    p = e + 1;
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    ++lines;
    for (std::string_view s : kSayings) saying = saying || line.find(s) != std::string::npos;
  }
  // The prompt after it is one of the lines.
  return saying && lines <= 3;
}

void CMailReader::SaveHighestLogged(long long failed) {
  long long lowestMissing = failed;
  for (std::ptrdiff_t i = 0; i <= ListLineCursor; ++i) {
    const std::string& line = ListLines[static_cast<std::size_t>(i)];
    if (Qualifies(line)) lowestMissing = std::min(lowestMissing, LeadingNumber(line));
  }
  const long long start = LeadingNumber(StartMailNo);
  long long safe = start;
  for (const std::string& line : ListLines) {
    const long long n = LeadingNumber(line);
    if (n > safe && n < lowestMissing) safe = n;
  }
  // The mail log's failure is the reason told; a failed write here only
  // means the next run reads a few messages again.
  if (safe > start) doc_.Settings().Set(keys::LastMailNo, std::to_string(safe));
}

}  // namespace nami
