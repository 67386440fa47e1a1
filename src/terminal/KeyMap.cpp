#include "terminal/KeyMap.h"

#include "text/Cp932.h"

namespace nami {
namespace {

std::string CtrlBytes(const KeyStroke& s) {
  if (s.key == TermKey::Return || s.key == TermKey::Enter) return "\n";  // the keyboard's line feed
  if (s.key == TermKey::Backspace) return "\x7f";
  if (s.base >= 'A' && s.base <= 'Z') return std::string(1, static_cast<char>(s.base - 'A' + 1));
  switch (s.base) {
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '_':
      return std::string(1, static_cast<char>(s.base & 0x1F));
    default:
      return {};
  }
}

}  // namespace

std::string KeyBytes(const KeyStroke& stroke) {
  if (stroke.altOrMeta) return {};
  if (stroke.ctrl) return CtrlBytes(stroke);
  switch (stroke.key) {
    case TermKey::Return:
    case TermKey::Enter:
      return "\r";
    case TermKey::Backspace:
      return "\x08";
    case TermKey::Tab:
    case TermKey::Backtab:  // Shift+Tab
      return "\t";
    case TermKey::Escape:
      return "\x1b";
    case TermKey::Delete:
      return {};  // no character on this key
    case TermKey::Text:
      break;
  }
  const std::string& t = stroke.text;
  if (t.empty() || static_cast<unsigned char>(t[0]) < 0x20 || t[0] == 0x7F) return {};
  return Utf8ToCp932(t);
}

}  // namespace nami
