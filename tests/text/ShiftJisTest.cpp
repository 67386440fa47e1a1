#include "text/ShiftJis.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "text/Cp932.h"

namespace nami {
namespace {

TEST(ShiftJis, FindsOnlyAtCharacterStarts) {
  // "ソ" is 0x83 0x5C: its second byte is a backslash that must never match.
  std::string text = test::Sjis("ソ") + "\\x";
  EXPECT_EQ(FindAtCharStart(text, "\\"), 2u);
  EXPECT_EQ(FindAtCharStart(test::Sjis("ソ"), "\\"), std::string::npos);
  EXPECT_EQ(FindAtCharStart("abcABC", "ABC"), 3u);
  EXPECT_EQ(FindAtCharStart("abcabc", "ABC"), std::string::npos);
  EXPECT_EQ(FindAtCharStart("abc", ""), 0u);
  EXPECT_EQ(FindAtCharStart("", ""), 0u);
  EXPECT_EQ(FindAtCharStart("ab", "abc"), std::string::npos);
  // A lead byte as the very last byte must not read past the end.
  EXPECT_EQ(FindAtCharStart(std::string("a\x82"), "b"), std::string::npos);
}

TEST(ShiftJis, LeadingNumber) {
  EXPECT_EQ(LeadingNumber("  123 abc"), 123);
  EXPECT_EQ(LeadingNumber("-5"), -5);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("99999999999999999999999"), LLONG_MAX);
}

TEST(Cp932, RoundTripsJapaneseAndKeepsBackslashAndTilde) {
  std::string utf8 = "無題 ﾃｽﾄ ＣＯＭ \\ ~ ①";
  std::string sjis = Utf8ToCp932(utf8);
  EXPECT_EQ(sjis.substr(0, 4), "\x96\xB3\x91\xE8");
  EXPECT_NE(sjis.find('\\'), std::string::npos);  // 0x5C stays a backslash, not a yen sign
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(Cp932, InvalidBytesAndUnmappableCharacters) {
  EXPECT_EQ(Cp932ToUtf8(std::string("a\xFF" "b")), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Cp932ToUtf8(std::string("a\x82")), "a\xEF\xBF\xBD");  // truncated pair at the end
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80z"), "a?z");               // an emoji has no CP932 form
  EXPECT_EQ(Utf8ToCp932("a\xC3z"), "a?z");                          // broken UTF-8
}

}  // namespace
}  // namespace nami
