// The texts of a reply and a forward, and the checks a message to be queued
// passes before its file is written (UTF-8 in and out).
#pragma once

#include <string>
#include <string_view>

namespace nami::mailbox {

// "Re: " before the subject once: a subject that already starts with it
// (in any letter case) keeps its own.
std::string ReplySubject(std::string_view subject);
// Every line of `body` after "> "; an empty body gives an empty quote.
std::string QuoteBody(std::string_view body);
// The user's text, then the separator line, the original's headers, a blank
// line and its body.
std::string ForwardBody(std::string_view userText, std::string_view separator, std::string_view headers,
                        std::string_view body);

// A station call: one or two letters or digits, a digit, one to four
// letters, an optional SSID "-0" .. "-15" (JA1ABC, 7K1XYZ-3).
bool IsCallsign(std::string_view call);
// A bulletin's address: one to eight letters or digits (ALL, JAPAN, QST).
bool IsBulletinAddress(std::string_view to);

// The first character without a CP932 form in `utf8`: its place (1-based
// line and column in characters), the character and "U+XXXX".
struct SUnencodable {
  bool found = false;
  int line = 0, column = 0;
  std::string character, code;
};
SUnencodable FindUnencodable(std::string_view utf8);

}  // namespace nami::mailbox
