// NAMI.INI with Japanese section names and values, in CP932 as the Windows
// program writes it and in UTF-8 as a Linux editor saves it.
#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "text/Cp932.h"

namespace nami {
namespace {

using test::ReadFile;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

// Made by the Windows program: CP932, CR LF. "江" ends in 0x5D (']') and
// "ア"/"ヂ" differ only in a second byte that is an ASCII letter's.
std::string WindowsMadeIni() {
  return Sjis(
      "[Window]\r\nfontname=ＭＳ ゴシック\r\n"
      "[東京]\r\ncall=JA1TKY\r\nListFile=C:\\ログ\\東京.dat\r\n"
      "[江東]\r\ncall=JA1KTO\r\nprompt=江東>\r\n"
      "[ア]\r\ncall=JA1AAA\r\n"
      "[ヂ]\r\ncall=JA1DDD\r\n");
}

struct Expect {
  const char* section;
  const char* key;
  const char* value;  // UTF-8, compared as CP932
};
const Expect kExpected[] = {
    {"東京", "call", "JA1TKY"}, {"東京", "LISTFILE", "C:\\ログ\\東京.dat"},
    {"江東", "call", "JA1KTO"}, {"江東", "prompt", "江東>"},
    {"ア", "call", "JA1AAA"},   {"ヂ", "call", "JA1DDD"},
    {"ｱ", "call", ""},          {"window", "fontname", "ＭＳ ゴシック"},
};

void ExpectValues(const CIniFile& ini, const std::string& label) {
  for (const Expect& e : kExpected)
    EXPECT_EQ(ini.ReadString(Sjis(e.section), e.key, 129), Sjis(e.value))
        << label << ": [" << e.section << "] " << e.key;
}

TEST(IniJapanese, WindowsMadeCp932FileKeepsEverySectionApart) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  WriteFile(path, WindowsMadeIni());
  CIniFile ini(path);
  ExpectValues(ini, "CP932");

  // A document named in the file system picks its section in CP932.
  CSettings settings(path);
  for (const char* name : {"東京", "江東"}) {
    settings.SetProfileSection(CSettings::TitleForPath(dir.File(std::string("ドキュメント/") + name + ".nmi")));
    EXPECT_EQ(settings.ProfileSection(), Sjis(name));
    EXPECT_FALSE(settings.Raw(keys::Call).empty()) << name;
  }

  // Writing into one section leaves its look-alikes and every other byte alone.
  ASSERT_TRUE(ini.WriteString(Sjis("ヂ"), "call", "JA1NEW"));
  ASSERT_TRUE(ini.WriteString(Sjis("江東"), "echo", "enable"));
  std::string expected = WindowsMadeIni();
  expected.replace(expected.find("JA1DDD"), 6, "JA1NEW");
  expected.insert(expected.find(Sjis("[ア]")), "echo=enable\r\n");
  EXPECT_EQ(ReadFile(path), expected);
}

TEST(IniJapanese, Utf8FileReadsTheSameAndIsWrittenBackAsUtf8) {
  for (const bool bom : {false, true}) {
    TempDir dir;
    const std::string path = dir.File("NAMI.INI");
    const std::string utf8 = std::string(bom ? "\xEF\xBB\xBF" : "") + Cp932ToUtf8(WindowsMadeIni());
    WriteFile(path, utf8);
    CIniFile ini(path);
    ExpectValues(ini, bom ? "UTF-8 with BOM" : "UTF-8");

    ASSERT_TRUE(ini.WriteString(Sjis("江東"), "prompt", Sjis("江東 BBS>")));
    ASSERT_TRUE(ini.WriteString(Sjis("新宿"), "call", "JA1SJK"));
    std::string expected = utf8;
    expected.replace(expected.find("prompt=江東>"), std::string("prompt=江東>").size(), "prompt=江東 BBS>");
    expected += "[新宿]\r\ncall=JA1SJK\r\n";
    EXPECT_EQ(ReadFile(path), expected) << bom;
    EXPECT_EQ(ini.ReadString(Sjis("新宿"), "call", 80), "JA1SJK");
  }

  // A new file, and one with no multi-byte text, are CP932.
  TempDir dir;
  CIniFile fresh(dir.File("NAMI.INI"));
  ASSERT_TRUE(fresh.WriteString(Sjis("東京"), "call", "JA1TKY"));
  EXPECT_EQ(ReadFile(dir.File("NAMI.INI")), Sjis("[東京]\r\ncall=JA1TKY\r\n"));
}

// Which encoding a file on disk is taken in: UTF-8 only with a byte-order
// mark or a character of three or more bytes. Half-width kana in CP932 come
// in byte pairs that are also valid two-byte UTF-8 ("ﾅｶ" is C5 B6): such a
// file is still the Windows program's. The profile is found, and a save
// keeps the file in the one encoding it had.
TEST(IniJapanese, AFileIsUtf8OnlyWithABomOrAThreeByteCharacter) {
  const std::string utf8Kana = Cp932ToUtf8(Sjis("[ﾅｶ]\r\ncall=JA1NKA\r\n"));
  const struct {
    const char* name;
    std::string bytes;  // the file as saved
    bool utf8;
  } cases[] = {
      {"CP932, half-width kana pairs only", Sjis("[ﾅｶ]\r\ncall=JA1NKA\r\n"), false},
      {"CP932, kana pairs in a value too", Sjis("[ﾃｽﾄ]\r\nprompt=ﾅｶﾞﾉ>\r\n[ﾅｶ]\r\ncall=JA1NKA\r\n"), false},
      {"UTF-8 half-width kana (three bytes each)", utf8Kana, true},
      {"UTF-8 with a BOM", "\xEF\xBB\xBF" + utf8Kana, true},
      {"UTF-8, kanji elsewhere", Cp932ToUtf8(Sjis("[東京]\r\ncall=JA1TKY\r\n")) + utf8Kana, true},
      {"CP932 with kanji too", Sjis("[東京]\r\ncall=JA1TKY\r\n[ﾅｶ]\r\ncall=JA1NKA\r\n"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("NAMI.INI");
    WriteFile(path, c.bytes);
    CSettings settings(path);
    settings.SetProfileSection(settings.ProfileForDocument(dir.File("ドキュメント/ﾅｶ.nmi")));
    EXPECT_EQ(settings.Raw(keys::Call), "JA1NKA");
    ASSERT_TRUE(settings.Set(keys::Prompt, Sjis("ﾅｶ BBS>")));
    const std::string line = "prompt=" + (c.utf8 ? Cp932ToUtf8(Sjis("ﾅｶ BBS>")) : Sjis("ﾅｶ BBS>")) + "\r\n";
    EXPECT_EQ(ReadFile(path), c.bytes + line) << "one section, one encoding";
  }
}

// A CP932 file stays CP932 after a write that leaves only bytes that would
// also pass for UTF-8 ("ﾂｽ" is C2 BD, the UTF-8 of "½"): its other values
// read as before, and a second write keeps them byte for byte.
TEST(IniJapanese, AWriteNeverTurnsACp932FileIntoUtf8) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  WriteFile(path, Sjis("[x]\r\ncall=ﾂｽ\r\nprompt=江東>\r\n"));
  CIniFile ini(path);
  ASSERT_EQ(ini.ReadString("x", "call", 80), "\xC2\xBD");
  ASSERT_TRUE(ini.WriteString("x", "prompt", "QZ1ABC BBS>"));
  EXPECT_EQ(ini.ReadString("x", "call", 80), "\xC2\xBD");
  ASSERT_TRUE(ini.WriteString("x", "min", "30"));
  EXPECT_EQ(ReadFile(path), Sjis("[x]\r\ncall=ﾂｽ\r\nprompt=QZ1ABC BBS>\r\nmin=30\r\n"));
}

TEST(IniJapanese, ValuesAreCutAtACharacterStart) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  CIniFile ini(path);
  const struct {
    std::string value;
    int bufSize;
    std::string read;
  } cases[] = {
      {Sjis("あいう"), 6, Sjis("あい")},  // 5 bytes kept: the third character would be split
      {Sjis("あいう"), 7, Sjis("あいう")},
      {"a" + Sjis("あい"), 5, "a" + Sjis("あ")},
      {Sjis("ｱｲｳ"), 3, Sjis("ｱｲ")},  // half-width kana are one byte
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(ini.WriteString("s", "k", c.value));
    EXPECT_EQ(ini.ReadString("s", "k", c.bufSize), c.read) << c.bufSize;
  }
}

}  // namespace
}  // namespace nami
