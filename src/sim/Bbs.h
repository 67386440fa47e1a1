// A small packet BBS in the classic style: a prompt, list commands (L, LL n,
// L n-m, L> call, L< call, LM, LB, LP, LC cat), R n, S/SP/SB with a title
// and a text ended by Ctrl-Z or "/EX", K n and B. One session at a time;
// what each user has listed is remembered across sessions.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/MessageBase.h"

namespace nami::sim {

struct SBbsOptions {
  std::string call = "QZ1ABC";
  std::string prompt;  // empty: the call followed by " BBS>"
  // false: the prompt is sent without a line end, as many BBSes do.
  bool promptEndsLine = true;
  bool newestFirst = true;   // false: lists run from the oldest message up
  bool listSentMail = true;  // false: the user's own personal messages stay out of his lists
};

class CBbs {
 public:
  CBbs(CMessageBase& base, SBbsOptions options = {});

  const std::string& Call() const { return call_; }
  const std::string& Prompt() const { return prompt_; }
  bool PromptEndsLine() const { return promptEndsLine_; }
  CMessageBase& Base() { return base_; }

  // A station has connected: the greeting, ending with the prompt line.
  std::vector<std::string> Connect(const std::string& user, std::time_t now);
  // Bytes from the connected station; returns the lines to send back.
  // After "B" the session ends and the rest of `bytes` is ignored.
  std::vector<std::string> Receive(std::string_view bytes, std::time_t now);
  // The link went away without "B".
  void Drop();

  bool InSession() const { return inSession_; }
  // The highest number this user had when he last logged off after an L.
  int LastListed(const std::string& user) const;

 private:
  enum class Mode { Command, Title, Body };
  static constexpr std::size_t kMaxLine = 255;

  void HandleLine(const std::string& line, std::time_t now, std::vector<std::string>& out);
  void HandleCommand(const std::string& line, std::time_t now, std::vector<std::string>& out);
  void HandleTitle(const std::string& line, std::vector<std::string>& out);
  void HandleBody(const std::string& line, std::time_t now, std::vector<std::string>& out);
  // What a list command asks for.
  struct SListQuery {
    int low = 1;
    int high = 1 << 30;
    std::size_t lastCount = 0;  // LL n: the n newest
    std::string call;           // L> and L<
    bool usage = false;         // the arguments make no sense
  };
  void List(std::vector<std::string>& out, const std::vector<std::string>& args, const std::string& command);
  SListQuery ParseList(const std::string& command, const std::vector<std::string>& args);
  SListQuery ParseListRange(const std::vector<std::string>& args);
  void SetCategory(std::vector<std::string>& out, const std::vector<std::string>& args);
  bool Listed(const SMessage& m, const std::string& command, const SListQuery& q) const;
  void Read(std::vector<std::string>& out, const std::vector<std::string>& args);
  void StartSend(std::vector<std::string>& out, const std::vector<std::string>& args, char type);
  void Kill(std::vector<std::string>& out, const std::vector<std::string>& args);
  bool Visible(const SMessage& m) const;
  void EndAnswer(std::vector<std::string>& out) const;

  CMessageBase& base_;
  std::string call_;
  std::string prompt_;
  bool promptEndsLine_;
  bool newestFirst_;
  bool listSentMail_;
  std::map<std::string, int> lastListed_;

  // The session.
  bool inSession_ = false;
  std::string user_;
  std::string line_;
  Mode mode_ = Mode::Command;
  std::string category_;  // LC filter, empty = all
  int pendingListed_ = 0;
  SMessage draft_;
};

}  // namespace nami::sim
