// The one converter between CP932 bytes and Unicode (UTF-8), used only at
// the edges: display, clipboard, dialogs, D-Bus and console output.
//
// Built on glibc iconv "CP932", which maps 0x5C and 0x7E to ASCII and knows
// the NEC and IBM extensions. Bytes that are not valid CP932 decode to
// U+FFFD; characters CP932 cannot hold encode to "?".
#pragma once

#include <string>
#include <string_view>

namespace nami {

std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);
// Like Utf8ToCp932, but false (and `cp932` unspecified) when a character
// has no CP932 form or the input is not valid UTF-8: nothing is replaced.
bool Utf8ToCp932Exact(std::string_view utf8, std::string& cp932);
// True when `bytes` is valid UTF-8 (an empty text is).
bool IsValidUtf8(std::string_view bytes);

}  // namespace nami
