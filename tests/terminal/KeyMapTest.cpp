// The bytes each key sends on the link, without a window.
#include <gtest/gtest.h>

#include "terminal/KeyMap.h"

namespace nami {
namespace {

KeyStroke Key(TermKey key, bool ctrl = false) {
  KeyStroke s;
  s.key = key;
  s.ctrl = ctrl;
  return s;
}

KeyStroke Typed(const std::string& text, char base = 0) {
  KeyStroke s;
  s.text = text;
  s.base = base;
  return s;
}

KeyStroke Ctrl(char base, const std::string& text = "") {
  KeyStroke s = Typed(text, base);
  s.ctrl = true;
  return s;
}

TEST(KeyMap, EachKeySendsItsBytes) {
  KeyStroke altX = Typed("x", 'X');
  altX.altOrMeta = true;
  KeyStroke ctrlAltA = Ctrl('A');
  ctrlAltA.altOrMeta = true;
  const struct {
    const char* name;
    KeyStroke stroke;
    std::string bytes;
  } cases[] = {
      {"Return", Key(TermKey::Return), "\r"},
      {"keypad Enter", Key(TermKey::Enter), "\r"},
      {"Backspace", Key(TermKey::Backspace), "\x08"},
      {"Tab", Key(TermKey::Tab), "\t"},
      {"Shift+Tab", Key(TermKey::Backtab), "\t"},
      {"Escape", Key(TermKey::Escape), "\x1b"},
      {"Delete sends nothing", Key(TermKey::Delete), ""},
      {"a letter", Typed("a", 'A'), "a"},
      {"a capital", Typed("Q", 'Q'), "Q"},
      {"kana as CP932", Typed("ア"), "\x83\x41"},
      {"a kanji as CP932", Typed("漢"), "\x8a\xbf"},
      {"half-width kana", Typed("ｱ"), "\xb1"},
      {"a control character typed is not sent", Typed("\x01"), ""},
      {"DEL typed is not sent", Typed("\x7f"), ""},
      {"a key that types nothing", Typed(""), ""},
      {"Ctrl+A", Ctrl('A', "\x01"), "\x01"},
      {"Ctrl+Z", Ctrl('Z', "\x1a"), "\x1a"},
      {"Ctrl+Return is a line feed", Key(TermKey::Return, true), "\n"},
      {"Ctrl+Enter is a line feed", Key(TermKey::Enter, true), "\n"},
      {"Ctrl+Backspace is DEL", Key(TermKey::Backspace, true), "\x7f"},
      {"Ctrl+@", Ctrl('@'), std::string(1, '\0')},
      {"Ctrl+[", Ctrl('['), "\x1b"},
      {"Ctrl+\\", Ctrl('\\'), "\x1c"},
      {"Ctrl+]", Ctrl(']'), "\x1d"},
      {"Ctrl+^", Ctrl('^'), "\x1e"},
      {"Ctrl+_", Ctrl('_'), "\x1f"},
      {"Ctrl+digit sends nothing", Ctrl('1', "1"), ""},
      {"Ctrl+Tab sends nothing", Key(TermKey::Tab, true), ""},
      {"Alt+X is a menu key", altX, ""},
      {"Ctrl+Alt+A is a menu key", ctrlAltA, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(KeyBytes(c.stroke), c.bytes) << c.name;
}

}  // namespace
}  // namespace nami
