#include "mailbox/Recognise.h"

#include <cctype>
#include <cstdlib>

namespace nami::mailbox {

std::string_view Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

namespace {

using Lines = std::vector<std::string>;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// "Key  : value" -> key "Key", value "value"; false without a colon. A colon
// is never a trail byte of a CP932 character, so the split is safe.
bool KeyValue(std::string_view line, std::string& key, std::string& value) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 24) return false;
  key = Upper(Trim(line.substr(0, colon)));
  value = std::string(Trim(line.substr(colon + 1)));
  return !key.empty();
}

long long NumberIn(std::string_view s) {
  const auto d = s.find_first_of("0123456789");
  if (d == std::string_view::npos) return -1;
  return std::strtoll(std::string(s.substr(d, 12)).c_str(), nullptr, 10);
}

// "CALL@BBS" or "CALL @ BBS" -> call and BBS.
void SplitAddress(std::string_view addr, std::string& call, std::string& at) {
  const auto a = addr.find('@');
  call = std::string(Trim(addr.substr(0, a)));
  at = a == std::string_view::npos ? std::string() : std::string(Trim(addr.substr(a + 1)));
  const auto space = call.find_first_of(" \t");
  if (space != std::string::npos) call.resize(space);
}

// The body: after the header lines, from the first line that is not blank
// (one blank line separates headers and body), with trailing blank lines
// and a trailer line recognised by `isTrailer` removed.
void TakeBody(const Lines& lines, std::size_t from, std::size_t to, SParsedMessage& out,
              bool (*isTrailer)(std::string_view, SParsedMessage&) = nullptr) {
  if (from < to && Trim(lines[from]).empty()) ++from;
  while (to > from && Trim(lines[to - 1]).empty()) --to;
  // The trailer closes the message; what the BBS adds after it ("You have
  // 1 new message") is no part of it.
  if (isTrailer)
    for (std::size_t i = to; i > from && i + 8 > to; --i)
      if (isTrailer(lines[i - 1], out)) {
        to = i - 1;
        break;
      }
  while (to > from && Trim(lines[to - 1]).empty()) --to;
  out.bodyFrom = from;
  out.bodyTo = to;
  out.bodyLines.assign(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.begin() + static_cast<std::ptrdiff_t>(to));
}

// ---- the built-in simulator ----
// Msg# 1203  Type: B  Status: Y  Size: 321
// From: QZ3ABD  To: SALE @JPN
// Date: 261202/2015
// Subject: ...
// (blank), body
bool SimStarts(const Lines& l, std::size_t i) {
  return StartsWithNoCase(l[i], "Msg# ") && l[i].find("Type:") != std::string::npos &&
         i + 1 < l.size() && StartsWithNoCase(l[i + 1], "From: ");
}

void SimParse(const Lines& l, std::size_t from, std::size_t to, SParsedMessage& out) {
  out.number = NumberIn(l[from]);
  const std::string& head = l[from];
  if (auto t = head.find("Type: "); t != std::string::npos) out.type = std::string(Trim(head.substr(t + 6, 1)));
  if (auto s = head.find("Status: "); s != std::string::npos) out.status = std::string(Trim(head.substr(s + 8, 1)));
  std::size_t i = from;
  out.headerLines.push_back(l[i++]);
  for (; i < to && !Trim(l[i]).empty(); ++i) {
    const std::string& line = l[i];
    out.headerLines.push_back(line);
    if (StartsWithNoCase(line, "From: ")) {
      const auto toAt = line.find("  To: ");
      out.from = std::string(Trim(line.substr(6, toAt == std::string::npos ? std::string::npos : toAt - 6)));
      if (toAt != std::string::npos) SplitAddress(std::string_view(line).substr(toAt + 6), out.to, out.at);
    } else if (StartsWithNoCase(line, "Date: ")) {
      out.date = std::string(Trim(std::string_view(line).substr(6)));
    } else if (StartsWithNoCase(line, "Subject: ")) {
      out.subject = std::string(Trim(std::string_view(line).substr(9)));
    }
  }
  TakeBody(l, i, to, out);
}

// ---- keyed header blocks: F6FBB and BPQ/LinBPQ ----
// Both print "Key : value" lines starting with From and To, then a blank
// line and the body; they differ in the key names and the trailer.
bool KeyedStarts(const Lines& l, std::size_t i, bool (*flavour)(const Lines&, std::size_t, std::size_t)) {
  std::string k1, v1, k2, v2;
  if (i + 1 >= l.size() || !KeyValue(l[i], k1, v1) || !KeyValue(l[i + 1], k2, v2)) return false;
  if (k1 != "FROM" || k2 != "TO") return false;
  std::size_t end = i;
  while (end < l.size() && end < i + 12 && !Trim(l[end]).empty()) ++end;
  return flavour(l, i, end);
}

bool HasKey(const Lines& l, std::size_t from, std::size_t to, std::string_view wanted) {
  std::string k, v;
  for (std::size_t i = from; i < to; ++i)
    if (KeyValue(l[i], k, v) && k == wanted) return true;
  return false;
}

bool IsBpq(const Lines& l, std::size_t from, std::size_t to) {
  return HasKey(l, from, to, "TITLE") || (HasKey(l, from, to, "BID") && !HasKey(l, from, to, "BID (MID)"));
}
bool IsFbb(const Lines& l, std::size_t from, std::size_t to) { return !IsBpq(l, from, to); }

void KeyedParse(const Lines& l, std::size_t from, std::size_t to, SParsedMessage& out,
                bool (*isTrailer)(std::string_view, SParsedMessage&)) {
  std::size_t i = from;
  std::string k, v;
  for (; i < to && !Trim(l[i]).empty(); ++i) {
    // A BPQ "Type/Status PN" line may come without its colon.
    std::string line = l[i];
    if (StartsWithNoCase(line, "Type/Status ") && line.find(':') == std::string::npos)
      line.insert(11, ":");
    if (!KeyValue(line, k, v)) break;
    out.headerLines.push_back(l[i]);
    if (k == "FROM") {
      std::string ignoredAt;
      SplitAddress(v, out.from, ignoredAt);
    } else if (k == "TO") {
      SplitAddress(v, out.to, out.at);
    } else if (k == "TYPE/STATUS") {
      out.type = v.substr(0, 1);
      out.status = v.size() > 1 ? v.substr(1, 1) : std::string();
    } else if (k == "DATE/TIME" || k == "DATE") {
      out.date = v;
    } else if (k == "TITLE" || k == "SUBJECT") {
      out.subject = v;
    } else if (k == "MESSAGE #" || k == "MSG #" || k == "MSG#") {
      out.number = NumberIn(v);
    }
  }
  TakeBody(l, i, to, out, isTrailer);
}

// BPQ ends a message with "[End of Message #1234 from G8BPQ]".
bool BpqTrailer(std::string_view line, SParsedMessage& out) {
  const std::string_view t = Trim(line);
  if (!StartsWithNoCase(t, "[End of Message #")) return false;
  if (out.number < 0) out.number = NumberIn(t);
  return true;
}

// F6FBB may close with "--- End of message#: 1234 from F6FBB to ALL ---"
// (its "end of message" text) or with "[End of message #1234 ...]".
bool FbbTrailer(std::string_view line, SParsedMessage& out) {
  const std::string_view t = Trim(line);
  if (!StartsWithNoCase(t, "--- End of message") && !StartsWithNoCase(t, "[End of message")) return false;
  if (out.number < 0) out.number = NumberIn(t);
  return true;
}

bool BpqStarts(const Lines& l, std::size_t i) { return KeyedStarts(l, i, IsBpq); }
bool FbbStarts(const Lines& l, std::size_t i) { return KeyedStarts(l, i, IsFbb); }
void BpqParse(const Lines& l, std::size_t from, std::size_t to, SParsedMessage& out) {
  KeyedParse(l, from, to, out, BpqTrailer);
}
void FbbParse(const Lines& l, std::size_t from, std::size_t to, SParsedMessage& out) {
  KeyedParse(l, from, to, out, FbbTrailer);
  // F6FBB puts "(This message has been read 1 times so far in this BBS)."
  // between the headers and the text: a note of the BBS, not of the message.
  auto& body = out.bodyLines;
  if (!body.empty() && StartsWithNoCase(Trim(body.front()), "(This message has been read")) {
    out.headerLines.push_back(body.front());
    body.erase(body.begin());
    ++out.bodyFrom;
    while (!body.empty() && Trim(body.front()).empty()) {
      body.erase(body.begin());
      ++out.bodyFrom;
    }
  }
}

// ---- JNOS ----
// "Message #3 " (or "Message #3 [Deleted]"), then mail headers (Date:,
// From:, To:, Subject:, ...) up to a blank line, then the body.
bool JnosStarts(const Lines& l, std::size_t i) {
  const std::string_view t = Trim(l[i]);
  return StartsWithNoCase(t, "Message #") && t.size() > 9 && std::isdigit(static_cast<unsigned char>(t[9]));
}

void JnosParse(const Lines& l, std::size_t from, std::size_t to, SParsedMessage& out) {
  out.number = NumberIn(l[from]);
  out.headerLines.push_back(l[from]);
  std::size_t i = from + 1;
  std::string k, v;
  for (; i < to && !Trim(l[i]).empty(); ++i) {
    const std::string& line = l[i];
    // A folded header line continues the one before.
    if ((line[0] == ' ' || line[0] == '\t') && !out.headerLines.empty()) {
      out.headerLines.push_back(line);
      continue;
    }
    if (!KeyValue(line, k, v)) break;
    out.headerLines.push_back(line);
    if (k == "FROM") {
      // "QZ1XYZ@qz1bbs.ampr.org" or "Name <call@host>"
      std::string addr = v;
      const auto lt = addr.find('<');
      if (lt != std::string::npos) addr = addr.substr(lt + 1, addr.find('>', lt) - lt - 1);
      std::string host;
      SplitAddress(addr, out.from, host);
    } else if (k == "TO") {
      SplitAddress(v, out.to, out.at);
    } else if (k == "DATE") {
      out.date = v;
    } else if (k == "SUBJECT") {
      out.subject = v;
    }
  }
  TakeBody(l, i, to, out);
}

}  // namespace

const std::vector<SRecogniser>& Recognisers() {
  static const std::vector<SRecogniser> table = {
      {"sim", SimStarts, SimParse},
      {"bpq", BpqStarts, BpqParse},
      {"fbb", FbbStarts, FbbParse},
      {"jnos", JnosStarts, JnosParse},
  };
  return table;
}

std::vector<std::size_t> MessageStarts(const std::vector<std::string>& lines) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (const SRecogniser& r : Recognisers())
      if (r.startsAt(lines, i)) {
        starts.push_back(i);
        // A header block ends at its blank line: a "From:" inside it is no
        // new message.
        while (i + 1 < lines.size() && !Trim(lines[i + 1]).empty()) ++i;
        break;
      }
  return starts;
}

SParsedMessage ParseMessage(const std::vector<std::string>& lines) {
  SParsedMessage out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (const SRecogniser& r : Recognisers())
      if (r.startsAt(lines, i)) {
        out.format = r.name;
        r.parse(lines, i, lines.size(), out);
        return out;
      }
  TakeBody(lines, 0, lines.size(), out);
  return out;
}

}  // namespace nami::mailbox
