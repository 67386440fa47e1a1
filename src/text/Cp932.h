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

}  // namespace nami
