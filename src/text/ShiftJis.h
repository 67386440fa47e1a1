// Shift-JIS (CP932) byte rules shared by every part of the core.
//
// Inside the core all text is CP932 bytes in std::string. A byte of 0x81 or
// more counts as the first byte of a two-byte character wherever text must
// not be split or searched inside a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nami {

inline bool IsLeadByte(unsigned char b) { return b >= 0x81; }
inline bool IsLeadByte(char c) { return IsLeadByte(static_cast<unsigned char>(c)); }

// Case-sensitive substring search that tries matches only at character
// starts (a byte after a lead byte is never a start). Starts at `from`, which
// must itself be a character start. An empty needle is found at `from` when
// `from` <= hay.size(). Returns std::string::npos when there is no match.
std::size_t FindAtCharStart(std::string_view hay, std::string_view needle, std::size_t from = 0);

inline bool ContainsAtCharStart(std::string_view hay, std::string_view needle) {
  return FindAtCharStart(hay, needle) != std::string::npos;
}

// The text with every control byte made visible, for a console or a journal
// that would act on it: Ctrl+A ... Ctrl+Z and the other C0 bytes as "^G",
// "^Z" (NUL "^@", DEL "^?"), ESC as "<1B>" and a lone 0x80 as "<80>". TAB
// stays; two-byte characters are kept whole (a byte after a lead byte is
// never taken for a control unless it is below 0x40, which no character has).
std::string VisibleControls(std::string_view cp932);

// The leading decimal number of a text: blanks skipped, optional sign,
// digits; 0 when there are none. Saturates instead of overflowing.
long long LeadingNumber(std::string_view text);

}  // namespace nami
