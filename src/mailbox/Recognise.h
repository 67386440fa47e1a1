// What the BBS printed for one read command, taken apart: the headers
// (from, to, @BBS, date, subject) and the body. One table holds a
// recogniser per BBS program; the first whose header start matches parses
// the message. Text stays CP932 bytes as received.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nami::mailbox {

struct SParsedMessage {
  std::string format;       // the recogniser's name; empty when none matched
  long long number = -1;    // the message number the output names; -1 none
  std::string type, status;  // e.g. "B", "N"
  std::string from, to, at, date, subject;
  std::vector<std::string> headerLines;  // the header lines as printed
  std::vector<std::string> bodyLines;
  // Where the body lies in the lines parsed: [bodyFrom, bodyTo).
  std::size_t bodyFrom = 0, bodyTo = 0;
};

struct SRecogniser {
  const char* name;  // "sim", "fbb", "bpq", "jnos"
  // Whether a message's headers start at lines[i].
  bool (*startsAt)(const std::vector<std::string>& lines, std::size_t i);
  // Parses lines[from, to) whose headers start at `from`.
  void (*parse)(const std::vector<std::string>& lines, std::size_t from, std::size_t to, SParsedMessage& out);
};

// The table, in the order they are tried.
const std::vector<SRecogniser>& Recognisers();

// Parses the lines of one read answer (no line ends, the prompt not
// included). Leading text before the headers is dropped; an answer no
// recogniser knows becomes a message with only a body.
SParsedMessage ParseMessage(const std::vector<std::string>& lines);

// Where a read answer holding several messages ("R 1 2") splits: the index
// of every header start a recogniser finds (the first is the first message).
std::vector<std::size_t> MessageStarts(const std::vector<std::string>& lines);

// Helpers shared with the list parser.
std::string_view Trim(std::string_view s);
std::string Upper(std::string_view s);

}  // namespace nami::mailbox
