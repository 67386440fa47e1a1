#include "sim/Bbs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "text/ShiftJis.h"

namespace nami::sim {
namespace {

constexpr char kCtrlZ = 0x1A;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t b = text.find_first_not_of(" \t", i);
    if (b == std::string_view::npos) break;
    std::size_t e = text.find_first_of(" \t", b);
    if (e == std::string_view::npos) e = text.size();
    words.emplace_back(text.substr(b, e - b));
    i = e;
  }
  return words;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && s.size() <= 8 && s.find_first_not_of("0123456789") == std::string_view::npos;
}

int Number(std::string_view s) { return static_cast<int>(LeadingNumber(s)); }

// A call sign with an optional SSID: letters and digits, 1 to 6 of them, at
// least one digit.
bool IsCall(std::string_view call) {
  std::string_view base = call.substr(0, call.find('-'));
  if (base.empty() || base.size() > 6) return false;
  bool digit = false;
  for (char c : base) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    digit = digit || std::isdigit(static_cast<unsigned char>(c));
  }
  if (call.size() > base.size()) {
    std::string_view ssid = call.substr(base.size() + 1);
    if (!AllDigits(ssid) || Number(ssid) > 15) return false;
  }
  return digit;
}

std::string Pad(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

// One line of a list, cut to 79 bytes at a character start, so that no
// terminal wraps it and a continuation can never pass for a numbered line.
std::string ListLine(const SMessage& m) {
  char head[64];
  std::snprintf(head, sizeof head, "%-6d %c%c %5d ", m.number, m.type, m.status, m.Size());
  std::string line = head + Pad(m.to, 6) + " " + Pad(m.route.empty() ? std::string() : "@" + m.route, 7) + " " +
                     Pad(m.from, 6) + " " + m.date + " " + m.subject;
  constexpr std::size_t kWidth = 79;
  std::size_t end = 0;
  while (end < line.size()) {
    std::size_t next = end + (IsLeadByte(line[end]) ? 2 : 1);
    if (next > kWidth) break;
    end = next;
  }
  line.resize(std::min(end, line.size()));
  return line;
}

const char* const kHelp[] = {
    "Commands:",
    "  L          list new messages since your last L",
    "  LL n       list the last n messages",
    "  L n-m      list messages n to m (also L n m, L n-)",
    "  L> call    list messages to call;  L< call  from call",
    "  LM LB LP   list your mail, bulletins, personal messages",
    "  LC cat     list only category cat (LC * for all)",
    "  R n ...    read messages",
    "  S call     send a message (SP personal, SB bulletin), @ route optional",
    "  K n        kill a message of yours",
    "  B          bye",
};

}  // namespace

CBbs::CBbs(CMessageBase& base, SBbsOptions options)
    : base_(base),
      call_(Upper(options.call)),
      prompt_(options.prompt.empty() ? call_ + " BBS>" : options.prompt),
      promptEndsLine_(options.promptEndsLine),
      newestFirst_(options.newestFirst),
      listSentMail_(options.listSentMail) {}

int CBbs::LastListed(const std::string& user) const {
  auto it = lastListed_.find(Upper(user));
  return it == lastListed_.end() ? 0 : it->second;
}

std::vector<std::string> CBbs::Connect(const std::string& user, std::time_t) {
  inSession_ = true;
  user_ = Upper(user);
  line_.clear();
  mode_ = Mode::Command;
  category_.clear();
  pendingListed_ = LastListed(user_);
  int fresh = 0;
  for (const auto& [number, m] : base_.Messages())
    if (number > pendingListed_ && Visible(m)) ++fresh;
  std::vector<std::string> out;
  out.push_back("Welcome to " + call_ + " BBS, " + user_ + ".");
  out.push_back("Last message #" + std::to_string(base_.HighestNumber()) + ", " + std::to_string(fresh) +
                " new since your last L. Type H for help.");
  EndAnswer(out);
  return out;
}

void CBbs::Drop() {
  inSession_ = false;
  line_.clear();
  mode_ = Mode::Command;
}

std::vector<std::string> CBbs::Receive(std::string_view bytes, std::time_t now) {
  std::vector<std::string> out;
  for (char c : bytes) {
    if (!inSession_) break;
    if (c == '\r') {
      std::string line;
      line.swap(line_);
      HandleLine(line, now, out);
    } else if (c == '\b' || c == 0x7F) {
      if (!line_.empty()) line_.pop_back();
    } else if (c == kCtrlZ || c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
      // LF and other control bytes are dropped, so CR LF from a terminal counts once.
      if (line_.size() < kMaxLine) {
        line_.push_back(c);
      } else if (mode_ == Mode::Body) {
        // An over-long text line is stored as two lines, not cut.
        std::string line;
        line.swap(line_);
        HandleLine(line, now, out);
        line_.push_back(c);
      }
    }
  }
  return out;
}

void CBbs::EndAnswer(std::vector<std::string>& out) const {
  out.emplace_back();
  out.push_back(prompt_);
}

bool CBbs::Visible(const SMessage& m) const { return m.type != 'P' || m.to == user_ || m.from == user_; }

void CBbs::HandleLine(const std::string& line, std::time_t now, std::vector<std::string>& out) {
  switch (mode_) {
    case Mode::Command:
      HandleCommand(line, now, out);
      break;
    case Mode::Title:
      HandleTitle(line, out);
      break;
    case Mode::Body:
      HandleBody(line, now, out);
      break;
  }
}

void CBbs::HandleCommand(const std::string& raw, std::time_t, std::vector<std::string>& out) {
  std::string line = raw;
  line.erase(std::remove(line.begin(), line.end(), kCtrlZ), line.end());
  std::vector<std::string> words = Words(line);
  if (words.empty()) {
    out.push_back(prompt_);
    return;
  }
  std::string cmd = Upper(words[0]);
  std::vector<std::string> args(words.begin() + 1, words.end());
  // "L>CALL", "L1201-1210" and "R1201": the argument written against the command.
  if (cmd.size() > 1 && (cmd[0] == 'L' || cmd[0] == 'R' || cmd[0] == 'K') &&
      (std::isdigit(static_cast<unsigned char>(cmd[1])) || (cmd[0] == 'L' && (cmd[1] == '>' || cmd[1] == '<')))) {
    std::size_t split = (cmd[1] == '>' || cmd[1] == '<') ? 2 : 1;
    if (cmd.size() > split) args.insert(args.begin(), words[0].substr(split));
    cmd.resize(split);
  }
  if (cmd == "L" || cmd == "LL" || cmd == "LM" || cmd == "LB" || cmd == "LP" || cmd == "LC" || cmd == "L>" ||
      cmd == "L<") {
    List(out, args, cmd);
  } else if (cmd == "R") {
    Read(out, args);
  } else if (cmd == "S" || cmd == "SP") {
    StartSend(out, args, 'P');
  } else if (cmd == "SB") {
    StartSend(out, args, 'B');
  } else if (cmd == "K") {
    Kill(out, args);
  } else if (cmd == "B" || cmd == "BYE") {
    out.push_back("73 de " + call_ + ", thank you for the call, " + user_ + ".");
    lastListed_[user_] = pendingListed_;
    inSession_ = false;
  } else if (cmd == "H" || cmd == "?" || cmd == "HELP") {
    for (const char* h : kHelp) out.emplace_back(h);
    EndAnswer(out);
  } else {
    out.push_back("?Unknown command " + words[0] + ", type H for help.");
    EndAnswer(out);
  }
}

// "L" with its arguments: none (new since the last L), "n m", "n-m", "n-", "-m" or "n".
CBbs::SListQuery CBbs::ParseListRange(const std::vector<std::string>& args) {
  SListQuery q;
  if (args.empty()) {
    q.low = LastListed(user_) + 1;
    pendingListed_ = std::max(pendingListed_, base_.HighestNumber());
  } else if (args.size() == 2 && AllDigits(args[0]) && AllDigits(args[1])) {
    q.low = Number(args[0]);
    q.high = Number(args[1]);
  } else if (args.size() == 1) {
    const std::string& a = args[0];
    std::size_t dash = a.find('-');
    std::string from = a.substr(0, dash);
    std::string to = dash == std::string::npos ? std::string() : a.substr(dash + 1);
    if ((!from.empty() && !AllDigits(from)) || (!to.empty() && !AllDigits(to)) || (from.empty() && to.empty())) {
      q.usage = true;
    } else {
      if (!from.empty()) q.low = Number(from);
      if (!to.empty()) q.high = Number(to);
    }
  } else {
    q.usage = true;
  }
  return q;
}

CBbs::SListQuery CBbs::ParseList(const std::string& cmd, const std::vector<std::string>& args) {
  if (cmd == "L") return ParseListRange(args);
  SListQuery q;
  if (cmd == "LL") {
    if (args.size() != 1 || !AllDigits(args[0]) || Number(args[0]) == 0)
      q.usage = true;
    else
      q.lastCount = static_cast<std::size_t>(Number(args[0]));
  } else if (cmd == "L>" || cmd == "L<") {
    if (args.size() != 1)
      q.usage = true;
    else
      q.call = Upper(args[0]);
  }
  return q;
}

void CBbs::SetCategory(std::vector<std::string>& out, const std::vector<std::string>& args) {
  if (args.empty()) {
    out.push_back(category_.empty() ? "Category filter: none (all categories)."
                                    : "Category filter: " + category_ + ".");
  } else if (args[0] == "*") {
    category_.clear();
    out.push_back("Category filter off.");
  } else {
    category_ = Upper(args[0]);
    out.push_back("Listing only category " + category_ + " until LC *.");
  }
  EndAnswer(out);
}

bool CBbs::Listed(const SMessage& m, const std::string& cmd, const SListQuery& q) const {
  if (!Visible(m) || m.number < q.low || m.number > q.high) return false;
  if (!listSentMail_ && m.type == 'P' && m.from == user_ && m.to != user_) return false;
  if (m.type == 'B' && !category_.empty() && m.to != category_) return false;
  if (cmd == "L>") return m.to == q.call;
  if (cmd == "L<") return m.from == q.call;
  if (cmd == "LM") return m.to == user_;
  if (cmd == "LB") return m.type == 'B';
  if (cmd == "LP") return m.type == 'P';
  return true;
}

void CBbs::List(std::vector<std::string>& out, const std::vector<std::string>& args, const std::string& cmd) {
  if (cmd == "LC") {
    SetCategory(out, args);
    return;
  }
  SListQuery q = ParseList(cmd, args);
  if (q.usage) {
    out.push_back("?Usage: L, LL n, L n-m, L n m, L n-, L> call, L< call, LM, LB, LP, LC cat");
    EndAnswer(out);
    return;
  }
  // The newest first; LL n takes the n newest whatever the order shown.
  std::vector<const SMessage*> hits;
  for (auto it = base_.Messages().rbegin(); it != base_.Messages().rend(); ++it) {
    if (!Listed(it->second, cmd, q)) continue;
    hits.push_back(&it->second);
    if (q.lastCount && hits.size() == q.lastCount) break;
  }
  if (!newestFirst_) std::reverse(hits.begin(), hits.end());
  if (hits.empty()) {
    out.push_back("No messages.");
  } else {
    out.push_back("Msg#   TS  Size To     @Route  From   Date        Subject");
    for (const SMessage* m : hits) out.push_back(ListLine(*m));
  }
  EndAnswer(out);
}

void CBbs::Read(std::vector<std::string>& out, const std::vector<std::string>& args) {
  if (args.empty()) out.push_back("?Usage: R n [n ...]");
  bool first = true;
  for (const std::string& a : args) {
    SMessage* m = AllDigits(a) ? base_.Find(Number(a)) : nullptr;
    if (!m || !Visible(*m)) {
      out.push_back("?Message " + a + " not found.");
      continue;
    }
    if (!first) out.emplace_back();
    first = false;
    out.push_back("Msg# " + std::to_string(m->number) + "  Type: " + m->type + "  Status: " + m->status +
                  "  Size: " + std::to_string(m->Size()));
    out.push_back("From: " + m->from + "  To: " + m->to + (m->route.empty() ? "" : " @" + m->route));
    out.push_back("Date: " + m->date);
    out.push_back("Subject: " + m->subject);
    out.emplace_back();
    for (const std::string& line : m->body) out.push_back(line);
    if (m->type == 'B' || m->to == user_) m->status = 'Y';
  }
  EndAnswer(out);
}

void CBbs::StartSend(std::vector<std::string>& out, const std::vector<std::string>& args, char type) {
  std::string to;
  std::string route;
  std::vector<std::string> rest = args;
  if (!rest.empty()) {
    to = Upper(rest[0]);
    rest.erase(rest.begin());
    std::size_t at = to.find('@');
    if (at != std::string::npos) {
      route = to.substr(at + 1);
      to.resize(at);
    } else if (!rest.empty() && rest[0] == "@") {
      if (rest.size() > 1) route = Upper(rest[1]);
    } else if (!rest.empty() && rest[0][0] == '@') {
      route = Upper(rest[0].substr(1));
    }
  }
  bool okTo = type == 'P' ? IsCall(to) : (!to.empty() && to.size() <= 6);
  if (!okTo || route.size() > 31) {
    out.push_back(type == 'P' ? "?Usage: S call [@ route]" : "?Usage: SB category [@ route]");
    EndAnswer(out);
    return;
  }
  draft_ = SMessage{};
  draft_.type = type;
  draft_.to = to;
  draft_.route = route;
  draft_.from = user_;
  out.push_back("Subject:");
  mode_ = Mode::Title;
}

void CBbs::HandleTitle(const std::string& line, std::vector<std::string>& out) {
  std::string title = line;
  std::size_t b = title.find_first_not_of(" \t");
  if (b == std::string::npos || title.find(kCtrlZ) != std::string::npos) {
    out.push_back("Message aborted.");
    mode_ = Mode::Command;
    EndAnswer(out);
    return;
  }
  draft_.subject = title.substr(b);
  out.push_back("Enter the text. End with Ctrl-Z or /EX on a line of its own.");
  mode_ = Mode::Body;
}

void CBbs::HandleBody(const std::string& line, std::time_t now, std::vector<std::string>& out) {
  std::size_t z = line.find(kCtrlZ);
  bool end = z != std::string::npos || Upper(line) == "/EX";
  if (z != std::string::npos) {
    if (z > 0) draft_.body.push_back(line.substr(0, z));
  } else if (!end) {
    draft_.body.push_back(line);
  }
  if (!end) return;
  draft_.date = FormatBbsDate(now);
  draft_.status = 'N';
  draft_.number = 0;
  int number = base_.Add(std::move(draft_));
  draft_ = SMessage{};
  out.push_back("Message #" + std::to_string(number) + " stored.");
  mode_ = Mode::Command;
  EndAnswer(out);
}

void CBbs::Kill(std::vector<std::string>& out, const std::vector<std::string>& args) {
  if (args.empty()) out.push_back("?Usage: K n [n ...]");
  for (const std::string& a : args) {
    SMessage* m = AllDigits(a) ? base_.Find(Number(a)) : nullptr;
    if (!m || !Visible(*m)) {
      out.push_back("?Message " + a + " not found.");
    } else if (m->from != user_ && m->to != user_) {
      out.push_back("?Message " + a + " is not yours.");
    } else {
      base_.Kill(m->number);
      out.push_back("Message #" + a + " killed.");
    }
  }
  EndAnswer(out);
}

}  // namespace nami::sim
