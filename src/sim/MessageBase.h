// The message store of the simulated BBS: numbered bulletins (B) and
// personal messages (P), loaded from a text file or from the built-in base.
//
// File format (CP932 bytes, lines ended by LF or CR LF):
//   # a comment line (only between messages)
//   MSG <number> <B|P> <status> <to> <route|-> <from> <yymmdd/hhmm> <subject...>
//   <body lines>
//   /EX
// "/EX" on a line of its own ends the body, as it ends a message typed to
// the BBS, so it can never be part of one.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nami::sim {

struct SMessage {
  int number = 0;
  char type = 'B';    // 'B' bulletin, 'P' personal
  char status = 'N';  // 'N' not yet read, 'Y' read
  std::string to;
  std::string route;  // empty when none
  std::string from;
  std::string date;   // "yymmdd/hhmm"
  std::string subject;
  std::vector<std::string> body;

  // Bytes of the body as sent over the link (one CR per line).
  int Size() const;
};

class CMessageBase {
 public:
  CMessageBase() = default;

  // The built-in base: about thirty messages, Japanese and English.
  static CMessageBase BuiltIn();
  // Parses the text of a message file; `error` gets a description of the
  // first bad line (the messages before it are kept).
  static CMessageBase Parse(std::string_view text, std::string* error = nullptr);
  // Loads a message file; nullopt when it cannot be read or parsed.
  static std::optional<CMessageBase> Load(const std::string& path, std::string* error = nullptr);

  // The base in the file format above (CP932, LF line ends).
  std::string Format() const;

  const std::map<int, SMessage>& Messages() const { return messages_; }
  const SMessage* Find(int number) const;
  SMessage* Find(int number);
  int HighestNumber() const { return highest_; }

  // Stores a new message under the next free number and returns that number.
  int Add(SMessage message);
  bool Kill(int number);

 private:
  std::map<int, SMessage> messages_;
  int highest_ = 0;  // never goes down, so numbers are not reused
};

// "yymmdd/hhmm" in UTC.
std::string FormatBbsDate(std::time_t t);

}  // namespace nami::sim
