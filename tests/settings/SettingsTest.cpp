#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/TestSupport.h"

namespace nami {
namespace {

using test::Sjis;
using test::TempDir;

TEST(Settings, DefaultsApplyWhenEmpty) {
  TempDir dir;
  CSettings s(dir.File("NAMI.INI"));
  EXPECT_EQ(s.ProfileSection(), Sjis("無題"));
  EXPECT_EQ(s.Get(keys::ComStatus), "COM2:9600,n,8,1,n");
  EXPECT_EQ(s.Get(keys::FontName), "FixedSys");
  EXPECT_EQ(s.GetInt(keys::FontSize), 12);
  EXPECT_EQ(s.GetInt(keys::Min), -1);
  EXPECT_EQ(s.Get(keys::ListFile), "templist.dat");
  EXPECT_EQ(s.Get(keys::MailFile), "tempmail.dat");
  EXPECT_EQ(s.Get(keys::Editor), "notepad.exe");
  // An empty value counts as missing.
  s.Set(keys::ListFile, "");
  EXPECT_EQ(s.Get(keys::ListFile), "templist.dat");
  EXPECT_EQ(s.Raw(keys::ListFile), "");
  // "Enable" is not "enable": only the reader's comparison decides, the value is kept as written.
  s.Set(keys::Echo, "Enable");
  EXPECT_EQ(s.Raw(keys::Echo), "Enable");
}

TEST(Settings, ProfileSectionFollowsTheDocumentTitle) {
  EXPECT_EQ(CSettings::TitleForPath("/home/op/ja1xyz.nmi"), "ja1xyz");
  EXPECT_EQ(CSettings::TitleForPath("station"), "station");
  EXPECT_EQ(CSettings::TitleForPath("/tmp/.hidden"), ".hidden");
  EXPECT_EQ(CSettings::TitleForPath("a.b.nmi"), "a.b");

  TempDir dir;
  CSettings s(dir.File("NAMI.INI"));
  s.Set(keys::Call, "JA1AAA");
  s.SetProfileSection("other");
  EXPECT_EQ(s.Raw(keys::Call), "");
  s.SetProfileSection(CSettings::UntitledTitle());
  EXPECT_EQ(s.Raw(keys::Call), "JA1AAA");
}

// The Windows program names the section after the title as the desktop
// showed it, so a NAMI.INI may hold "[x.nmi]" for x.nmi. The section without
// the extension wins when both exist; a new profile is named without it.
TEST(Settings, AProfileSavedWithItsExtensionIsFound) {
  const struct {
    const char* sections;  // UTF-8, stored as CP932
    const char* document;
    const char* profile;
  } cases[] = {
      {"[x.nmi]\r\ncall=JA1OLD\r\n", "/home/op/x.nmi", "x.nmi"},
      {"[X.NMI]\r\ncall=JA1OLD\r\n", "/home/op/X.NMI", "X.NMI"},
      {"[x.nmi]\r\ncall=JA1OLD\r\n[x]\r\ncall=JA1NEW\r\n", "/home/op/x.nmi", "x"},
      {"[y.nmi]\r\ncall=JA1OLD\r\n", "/home/op/x.nmi", "x"},
      {"[東京.nmi]\r\ncall=JA1TKY\r\n", "/home/op/無線局/東京.nmi", "東京.nmi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.document);
    TempDir dir;
    test::WriteFile(dir.File("NAMI.INI"), Sjis(c.sections));
    CSettings s(dir.File("NAMI.INI"));
    EXPECT_EQ(s.ProfileForDocument(c.document), Sjis(c.profile));
  }
}

TEST(Settings, CopyProfileOnSave) {
  TempDir dir;
  CSettings s(dir.File("NAMI.INI"));
  s.Set(keys::Call, "JA1AAA");
  // Every key is copied at its own length (128 bytes for paths), cut at a
  // character start.
  const std::string path128 = "/home/op/" + Sjis("東京") + "/" + std::string(114, 'm');
  const struct {
    const KeySpec& key;
    std::string stored, copied;
  } longValues[] = {
      {keys::Prompt, std::string(100, 'p'), std::string(80, 'p')},
      {keys::Send[0], path128 + "tail", path128},
      {keys::Send[4], path128, path128},
      {keys::ListFile, path128, path128},
      {keys::MailFile, std::string(127, 'a') + Sjis("東"), std::string(127, 'a')},
      {keys::SendBulletinCommand, "SB {to} @ {at} < " + std::string(80, 'b'), "SB {to} @ {at} < " + std::string(63, 'b')},
  };
  for (const auto& v : longValues) s.Set(v.key, v.stored);
  s.Set(keys::Serial, "yes");
  s.SetProfileSection("station");
  s.Set(keys::Call, "KEEP");  // a value the new section already had
  s.CopyProfileFrom(CSettings::UntitledTitle());

  EXPECT_EQ(s.Raw(keys::Call), "KEEP");
  for (const auto& v : longValues) EXPECT_EQ(s.Raw(v.key), v.copied) << v.key.name;
  EXPECT_FALSE(s.Has(keys::Serial));  // "serial" is not copied
  // Every key is created, even with an empty value, in the fixed order.
  for (const KeySpec* key : keys::ProfileCopyOrder) EXPECT_TRUE(s.File().HasKey("station", key->name)) << key->name;
  std::string text = test::ReadFile(s.Path());
  std::size_t section = text.find("[station]");
  ASSERT_NE(section, std::string::npos);
  std::size_t last = section;
  for (const KeySpec* entry : keys::ProfileCopyOrder) {
    const std::string key = entry->name;
    if (key == "call") continue;  // written before the copy
    std::size_t at = text.find("\n" + key + "=", section);
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_GT(at, last) << key;
    last = at;
  }
  // Saving under the same title only adds what is missing.
  std::string before = test::ReadFile(s.Path());
  s.CopyProfileFrom("station");
  EXPECT_EQ(test::ReadFile(s.Path()), before);
}

TEST(Settings, DevicePaths) {
  TempDir dir;
  CSettings s(dir.File("NAMI.INI"));
  EXPECT_EQ(s.DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(s.DevicePath("com9"), "/dev/ttyS8");
  EXPECT_EQ(s.DevicePath("COM0"), "");
  EXPECT_EQ(s.DevicePath("LPT1"), "");
  EXPECT_EQ(s.DevicePath("CO"), "");
  s.SetDevicePath("COM2", "/dev/serial/by-id/usb-FTDI_TNC-if00-port0");
  EXPECT_EQ(s.DevicePath("com2"), "/dev/serial/by-id/usb-FTDI_TNC-if00-port0");
}

TEST(Settings, IniPathSearchOrder) {
  const char* oldIni = std::getenv("NAMI_INI");
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  std::string savedIni = oldIni ? oldIni : "", savedXdg = oldXdg ? oldXdg : "";
  setenv("NAMI_INI", "/env/NAMI.INI", 1);
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(ResolveIniPath("/cli/NAMI.INI"), "/cli/NAMI.INI");
  EXPECT_EQ(ResolveIniPath(""), "/env/NAMI.INI");
  unsetenv("NAMI_INI");
  EXPECT_EQ(ResolveIniPath(""), "/xdg/nami/NAMI.INI");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_NE(ResolveIniPath("").find("/.config/nami/NAMI.INI"), std::string::npos);
  if (oldIni) setenv("NAMI_INI", savedIni.c_str(), 1);
  if (oldXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

}  // namespace
}  // namespace nami
