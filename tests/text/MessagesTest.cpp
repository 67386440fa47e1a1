#include <gtest/gtest.h>

#include <string>

#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {
namespace {

// Each fixed text survives CP932 exactly: a message may go into a CP932 log
// or settings file, and the untitled title names a NAMI.INI section.
TEST(Messages, EveryTextHasAnExactCp932Form) {
  ASSERT_GT(std::size(msg::kAll), 0u);
  for (const std::string* text : msg::kAll) {
    SCOPED_TRACE(*text);
    EXPECT_TRUE(IsValidUtf8(*text));
    std::string cp932;
    ASSERT_TRUE(Utf8ToCp932Exact(*text, cp932));
    EXPECT_EQ(Cp932ToUtf8(cp932), *text);
  }
}

// The Japanese texts are the ones the user has always seen, byte for byte in CP932.
TEST(Messages, JapaneseTextsKeepTheirCp932Bytes) {
  struct Case {
    const std::string& text;
    std::string cp932;
  };
  const Case cases[] = {
      {msg::FileNotFound,
       "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1"},
      {msg::ReconfigurePort,
       "\x82\x62\x82\x6E\x82\x6C\xCE\xDF\xB0\xC4\x82\xF0\x8D\xC4\x90\xDD\x92\xE8\x82\xB5\x8D\xC4\x93\x78\x8E\xC0"
       "\x8D\x73\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2"},
      {msg::Untitled, "\x96\xB3\x91\xE8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf8ToCp932(c.text), c.cp932);
  }
}

// Composed messages keep a Japanese file name as it is (UTF-8, never CP932).
TEST(Messages, ComposedMessagesNameTheObjectInUtf8) {
  struct Case {
    std::string built;
    std::string expected;
  };
  const Case cases[] = {
      {msg::Format(msg::FileNotFoundBecause,
                   {{"file", "/home/局/メール😀.txt"}, {"reason", "No such file or directory"}}),
       "ファイルが見つかりません\n/home/局/メール😀.txt: No such file or directory"},
      {msg::Format(msg::CannotOpenFileBecause, {{"file", "受信.log"}, {"reason", "Permission denied"}}),
       "Cannot Open File\n受信.log: Permission denied"},
      {msg::Format(msg::SettingsIsReadOnly, {{"path", "/home/無線/NAMI.INI"}}),
       "settings file /home/無線/NAMI.INI is read-only; the settings are not saved"},
      {msg::Format(msg::SettingsCannotBeWritten, {{"path", "NAMI.INI"}, {"reason", "No space left on device"}}),
       "settings file NAMI.INI cannot be written (No space left on device); the settings are not saved"},
      {msg::Format(msg::SettingsCannotBeRead, {{"path", "NAMI.INI"}, {"reason", "Permission denied"}}),
       "settings file NAMI.INI cannot be read (Permission denied); running on default settings, and nothing is "
       "written to it"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

// Placeholders are filled in one pass: a value is never read again as a
// placeholder, and one without a value stays as written.
TEST(Messages, FormatFillsEachPlaceholderOnce) {
  struct Case {
    std::string text;
    std::string built;
  };
  const Case cases[] = {
      {msg::Format("{file} を開けません。\n{reason}", {{"file", "局.nmi"}, {"reason", "{reason}"}}),
       "局.nmi を開けません。\n{reason}"},
      {msg::Format("{a}{a}-{b}", {{"a", "x"}}), "xx-{b}"},
      {msg::Format("{ not closed", {{" not closed", "y"}}), "{ not closed"},
      {msg::Format("", {{"a", "x"}}), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, c.built);
}

}  // namespace
}  // namespace nami
