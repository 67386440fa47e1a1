// What a key typed in the terminal pane sends on the link, decided without
// any toolkit: the pane describes the key, this says the bytes.
#pragma once

#include <string>

namespace nami {

// The keys the terminal treats on their own; every other key sends what it types.
enum class TermKey { Text, Return, Enter, Backspace, Tab, Backtab, Escape, Delete };

struct KeyStroke {
  TermKey key = TermKey::Text;
  // The printable ASCII character on the key ('A'..'Z' upper case, '@',
  // '[' ...), 0 when it has none; Ctrl combinations are made from it.
  char base = 0;
  std::string text;  // what the key types (UTF-8), for TermKey::Text
  bool ctrl = false;
  bool altOrMeta = false;  // menu keys
};

// The bytes (CP932) the key sends; empty when the key is not the
// terminal's (a menu key, Delete, a Ctrl combination without a control
// character, a key that types nothing printable).
std::string KeyBytes(const KeyStroke& stroke);

}  // namespace nami
