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
