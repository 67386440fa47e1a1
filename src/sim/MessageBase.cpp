#include "sim/MessageBase.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "text/ShiftJis.h"

namespace nami::sim {
namespace {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// Splits off the next blank-separated word; `rest` keeps what follows it.
std::string NextWord(std::string_view& rest) {
  std::size_t b = rest.find_first_not_of(" \t");
  if (b == std::string_view::npos) {
    rest = {};
    return {};
  }
  std::size_t e = rest.find_first_of(" \t", b);
  if (e == std::string_view::npos) e = rest.size();
  std::string word(rest.substr(b, e - b));
  rest.remove_prefix(e);
  return word;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int SMessage::Size() const {
  int size = 0;
  for (const std::string& line : body) size += static_cast<int>(line.size()) + 1;
  return size;
}

CMessageBase CMessageBase::Parse(std::string_view text, std::string* error) {
  CMessageBase base;
  std::vector<std::string> lines = SplitLines(text);
  SMessage current;
  bool inMessage = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (inMessage) {
      if (line == "/EX") {
        base.Add(std::move(current));
        current = SMessage{};
        inMessage = false;
      } else {
        current.body.push_back(line);
      }
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    std::string_view rest = line;
    std::string keyword = NextWord(rest);
    std::string number = NextWord(rest);
    std::string type = Upper(NextWord(rest));
    std::string status = Upper(NextWord(rest));
    std::string to = Upper(NextWord(rest));
    std::string route = Upper(NextWord(rest));
    std::string from = Upper(NextWord(rest));
    std::string date = NextWord(rest);
    std::size_t s = rest.find_first_not_of(" \t");
    std::string subject = s == std::string_view::npos ? std::string() : std::string(rest.substr(s));
    long long value = number.find_first_not_of("0123456789") == std::string::npos ? LeadingNumber(number) : 0;
    if (keyword != "MSG" || value <= 0 || value > 99999999 || (type != "B" && type != "P") || status.size() != 1 ||
        to.empty() || from.empty() || date.empty()) {
      if (error) *error = "line " + std::to_string(i + 1) + ": expected \"MSG number B|P status to route from date subject\"";
      return base;
    }
    if (base.Find(static_cast<int>(value))) {
      if (error) *error = "line " + std::to_string(i + 1) + ": message " + number + " appears twice";
      return base;
    }
    current.number = static_cast<int>(value);
    current.type = type[0];
    current.status = status[0];
    current.to = to;
    current.route = route == "-" ? std::string() : route;
    current.from = from;
    current.date = date;
    current.subject = subject;
    inMessage = true;
  }
  if (inMessage) {
    if (error) *error = "message " + std::to_string(current.number) + " is not ended by /EX";
  } else if (error) {
    error->clear();
  }
  return base;
}

std::optional<CMessageBase> CMessageBase::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string problem;
  CMessageBase base = Parse(text.str(), &problem);
  if (!problem.empty()) {
    if (error) *error = path + ": " + problem;
    return std::nullopt;
  }
  return base;
}

std::string CMessageBase::Format() const {
  std::string text = "# Messages of the simulated BBS. Each: a MSG line, the text, /EX.\n";
  for (const auto& [number, m] : messages_) {
    text += "MSG " + std::to_string(number) + " " + m.type + " " + m.status + " " + m.to + " " +
            (m.route.empty() ? "-" : m.route) + " " + m.from + " " + m.date + " " + m.subject + "\n";
    for (const std::string& line : m.body) text += line + "\n";
    text += "/EX\n";
  }
  return text;
}

const SMessage* CMessageBase::Find(int number) const {
  auto it = messages_.find(number);
  return it == messages_.end() ? nullptr : &it->second;
}

SMessage* CMessageBase::Find(int number) {
  auto it = messages_.find(number);
  return it == messages_.end() ? nullptr : &it->second;
}

int CMessageBase::Add(SMessage message) {
  if (message.number <= 0 || messages_.count(message.number)) message.number = highest_ + 1;
  if (message.number > highest_) highest_ = message.number;
  int number = message.number;
  messages_.emplace(number, std::move(message));
  return number;
}

bool CMessageBase::Kill(int number) { return messages_.erase(number) > 0; }

std::string FormatBbsDate(std::time_t t) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d/%02d%02d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                tm.tm_min);
  return buf;
}

}  // namespace nami::sim
