#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

using test::ReadFile;
using test::Sjis;
using test::TempDir;
using test::WriteFile;

// A file as the Windows program and Notepad leave it.
std::string WindowsStyleIni() {
  return "; nami settings\r\n"
         "[Window]\r\n"
         "x=120\r\n"
         "Y = 80 \r\n"
         "\r\n"
         "[" + Sjis("無題") + "]\r\n"
         "  CALL  =  JA1XYZ  \r\n"
         "Prompt=\"  de JA1XYZ>\"\r\n"
         "min=\"   10\"\r\n"
         "call=SHADOWED\r\n"
         "this line is not understood\r\n"
         "[window]\r\n"
         "x=999\r\n";
}

TEST(IniFile, ReadsAsWindowsDoes) {
  TempDir dir;
  WriteFile(dir.File("NAMI.INI"), WindowsStyleIni());
  CIniFile ini(dir.File("NAMI.INI"));
  EXPECT_EQ(ini.ReadString("WINDOW", "X", 80), "120");           // names compare without case
  EXPECT_EQ(ini.ReadString("Window", "y", 80), "80");             // blanks around key and value dropped
  EXPECT_EQ(ini.ReadString(Sjis("無題"), "call", 80), "JA1XYZ");  // the first of a duplicated key wins
  EXPECT_EQ(ini.ReadString(Sjis("無題"), "prompt", 80), "  de JA1XYZ>");  // quotes removed, inner blanks kept
  EXPECT_EQ(ini.ReadString(Sjis("無題"), "min", 80), "   10");
  EXPECT_FALSE(ini.HasKey("Window", "width"));                    // missing key
  EXPECT_EQ(ini.ReadString("Nowhere", "x", 80), "");
  EXPECT_EQ(ini.ReadString("Window", "x", 2), "1");               // cut to the buffer less one
  EXPECT_EQ(ini.ReadString("Window", "x", 0), "");
  // The comment is not a key.
  EXPECT_FALSE(ini.HasKey("Window", "; nami settings"));
}

TEST(IniFile, MissingFileReadsEmpty) {
  TempDir dir;
  CIniFile ini(dir.File("none/NAMI.INI"));
  EXPECT_EQ(ini.ReadString("Window", "x", 80), "");
  EXPECT_FALSE(ini.HasKey("Window", "x"));
}

TEST(IniFile, ValuesRoundTripExactly) {
  TempDir dir;
  CIniFile ini(dir.File("sub/NAMI.INI"));  // the folder is created on the first write
  const std::string values[] = {"   10", "10   ", "\"quoted\"", "a \"b\" c", "", Sjis("ﾃｽﾄ 無題"), "x=y"};
  for (const std::string& v : values) {
    ASSERT_TRUE(ini.WriteString("S", "k", v));
    EXPECT_EQ(ini.ReadString("S", "k", 128), v);
  }
  EXPECT_TRUE(ini.HasKey("S", "k"));
  // A value is one line: a line break cannot smuggle in another key.
  ASSERT_TRUE(ini.WriteString("S", "k", "abc\r\nevil=1"));
  EXPECT_EQ(ini.ReadString("S", "k", 128), "abc");
  EXPECT_FALSE(ini.HasKey("S", "evil"));
}

TEST(IniFile, LongValueIsCutForTheReader) {
  TempDir dir;
  CIniFile ini(dir.File("NAMI.INI"));
  ASSERT_TRUE(ini.WriteString("S", "k", std::string(200, 'v')));
  EXPECT_EQ(ini.ReadString("S", "k", 80), std::string(79, 'v'));
}

TEST(IniFile, WritingOneKeyKeepsEveryOtherByte) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  const std::string original = WindowsStyleIni();
  WriteFile(path, original);
  CIniFile ini(path);

  ASSERT_TRUE(ini.WriteString("Window", "x", "130"));
  std::string expected = original;
  expected.replace(expected.find("x=120"), 5, "x=130");
  EXPECT_EQ(ReadFile(path), expected);

  // A new key goes to the end of its (first) section, with the file's line ends.
  ASSERT_TRUE(ini.WriteString("Window", "width", "640"));
  expected.insert(expected.find("Y = 80 \r\n") + 9, "width=640\r\n");
  EXPECT_EQ(ReadFile(path), expected);

  // A new section is appended.
  ASSERT_TRUE(ini.WriteString("Editor Name", "editor", "mousepad"));
  EXPECT_EQ(ReadFile(path), expected + "[Editor Name]\r\neditor=mousepad\r\n");
}

TEST(IniFile, SeesChangesMadeByOthers) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  WriteFile(path, "[S]\nk=1\n");
  CIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "k", 80), "1");
  WriteFile(path, "[S]\nk=22\n");  // an editor changed the file
  EXPECT_EQ(ini.ReadString("S", "k", 80), "22");
}

TEST(IniFile, OddFilesReadAndSurviveAWrite) {
  TempDir dir;
  const std::string path = dir.File("NAMI.INI");
  std::string garbage;
  for (int i = 0; i < 512; ++i) garbage += static_cast<char>((i * 37) & 0xFF);
  const std::string hugeLine(1 << 20, 'z');
  const std::string original = std::string("[A]\rk=cr only\r") + garbage + "\n" + std::string("nul\0inside=1\n", 13) +
                               hugeLine + "\n[B]\nlast=no final line end";
  WriteFile(path, original);
  CIniFile ini(path);
  EXPECT_EQ(ini.ReadString("A", "k", 80), "cr only");
  EXPECT_EQ(ini.ReadString("B", "last", 80), "no final line end");

  ASSERT_TRUE(ini.WriteString("B", "new", "1"));
  const std::string after = ReadFile(path);
  // Everything before stays; the new key follows on a line of its own.
  ASSERT_GE(after.size(), original.size());
  EXPECT_TRUE(after.compare(0, original.size(), original) == 0);
  EXPECT_EQ(after.substr(original.size()), "\rnew=1\r");  // the file's own (CR) line ends
  EXPECT_EQ(ini.ReadString("B", "new", 80), "1");
}

// File operations that fail at a chosen step.
class FailingOps : public IFileOps {
 public:
  enum class Fail { Write, Sync, Rename } fail;
  explicit FailingOps(Fail f) : fail(f) {}
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (fail == Fail::Write) {
      // Half of it lands, then the disk is full.
      PosixFileOps().Write(fd, data, size / 2);
      errno = ENOSPC;
      return -1;
    }
    return PosixFileOps().Write(fd, data, size);
  }
  int Sync(int fd) override {
    if (fail == Fail::Sync) {
      errno = EIO;
      return -1;
    }
    return PosixFileOps().Sync(fd);
  }
  int Rename(const char* from, const char* to) override {
    if (fail == Fail::Rename) {
      errno = EROFS;
      return -1;
    }
    return PosixFileOps().Rename(from, to);
  }
};

TEST(IniFile, FailedWriteLeavesTheOldFileWhole) {
  for (auto fail : {FailingOps::Fail::Write, FailingOps::Fail::Sync, FailingOps::Fail::Rename}) {
    TempDir dir;
    const std::string path = dir.File("NAMI.INI");
    const std::string original = WindowsStyleIni();
    WriteFile(path, original);
    FailingOps ops(fail);
    CIniFile ini(path, ops);
    EXPECT_FALSE(ini.WriteString("Window", "x", std::string(5000, '7')));
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(ini.ReadString("Window", "x", 80), "120");
    // No temporary file is left beside it.
    int entries = 0;
    for (const char* name : {"NAMI.INI"}) entries += test::FileExists(dir.File(name));
    EXPECT_EQ(entries, 1);
  }
}

}  // namespace
}  // namespace nami
