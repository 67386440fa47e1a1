// Files the user names: opened without ever blocking, regular files only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "document/DocumentFile.h"
#include "files/TextFile.h"
#include "files/UserFile.h"
#include "settings/IniFile.h"
#include "settings/LinkPasswords.h"
#include "settings/RecentFiles.h"
#include "support/TestSupport.h"

namespace nami::test {
namespace {

TEST(UserFile, SpecialFilesAreRefusedAtOnceWithAReason) {
  TempDir dir;
  const std::string fifo = dir.File("パイプ");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteFile(dir.File("plain.txt"), "text");
  struct Case {
    std::string path;
    const char* reason;  // empty: opens
  };
  const Case cases[] = {
      {dir.Path(), "is a folder, not a file"},
      {fifo, "is a named pipe (FIFO), not a file"},
      {"/dev/zero", "is a device, not a file"},
      {dir.File("plain.txt"), ""},
  };
  for (const Case& c : cases) {
    for (UserFileMode mode : {UserFileMode::Read, UserFileMode::Append, UserFileMode::Truncate}) {
      SCOPED_TRACE(c.path + " mode " + std::to_string(static_cast<int>(mode)));
      FileFault fault;
      const int fd = OpenUserFile(c.path, mode, fault);  // a FIFO would block here without the guard
      EXPECT_EQ(FileFaultText(fault), c.reason);
      EXPECT_EQ(fd >= 0, std::string(c.reason).empty());
      if (fd >= 0) ::close(fd);
    }
  }
  // The text files (capture, logs, copy target) and the document go through it.
  CTextFile log;
  EXPECT_FALSE(log.Open(fifo, CTextFile::Mode::Append));
  EXPECT_EQ(FileFaultText(log.Fault()), "is a named pipe (FIFO), not a file");
  CLineStore store;
  FileFault fault;
  EXPECT_FALSE(LoadDocument(store, fifo, fault));
  const std::string error = DocumentFaultText(fault);
  EXPECT_NE(error.find("named pipe"), std::string::npos) << error;
  EXPECT_FALSE(LoadDocument(store, "/dev/zero", fault));
  EXPECT_NE(DocumentFaultText(fault).find("is a device"), std::string::npos) << DocumentFaultText(fault);
}

// The null device takes what is written (a log sent to /dev/null) but is no
// file to read; other devices stay refused.
TEST(UserFile, TheNullDeviceIsTakenForWritingOnly) {
  const struct {
    const char* path;
    UserFileMode mode;
    const char* reason;  // empty: opens
  } cases[] = {
      {"/dev/null", UserFileMode::Append, ""},
      {"/dev/null", UserFileMode::Truncate, ""},
      {"/dev/null", UserFileMode::Read, "is a device, not a file"},
      {"/dev/zero", UserFileMode::Append, "is a device, not a file"},
      {"/dev/full", UserFileMode::Truncate, "is a device, not a file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " mode " + std::to_string(static_cast<int>(c.mode)));
    FileFault fault;
    const int fd = OpenUserFile(c.path, c.mode, fault);
    EXPECT_EQ(FileFaultText(fault), c.reason);
    EXPECT_EQ(fd >= 0, std::string(c.reason).empty());
    if (fd >= 0) ::close(fd);
  }
  CTextFile log;
  ASSERT_TRUE(log.Open("/dev/null", CTextFile::Mode::Truncate)) << FileFaultText(log.Fault());
  EXPECT_TRUE(log.WriteLine("received"));
  EXPECT_TRUE(log.Close());
}

// A large file that is no document is refused by its size or its first bytes.
TEST(UserFile, ADocumentIsCheckedBeforeItIsReadWhole) {
  TempDir dir;
  const std::string big = dir.File("big.nmi");
  {
    std::FILE* f = std::fopen(big.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(::ftruncate(fileno(f), 3LL << 30), 0);  // sparse: 3 GB that take no room
    std::fclose(f);
  }
  WriteFile(dir.File("text.nmi"), std::string(100000, 'x'));
  CLineStore store;
  FileFault fault;
  EXPECT_FALSE(LoadDocument(store, big, fault));
  EXPECT_NE(DocumentFaultText(fault).find("too large"), std::string::npos) << DocumentFaultText(fault);
  EXPECT_FALSE(LoadDocument(store, dir.File("text.nmi"), fault));
  EXPECT_NE(DocumentFaultText(fault).find("not a compound file"), std::string::npos) << DocumentFaultText(fault);
}

// Runs `read` with a deadline: a read that blocks (on a named pipe without
// a writer) is released by opening the pipe for writing, and reported.
template <typename F>
bool ReturnsAtOnce(F read, const std::string& fifo) {
  auto done = std::async(std::launch::async, read);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  done.wait();
  return false;
}

// The files nami keeps beside NAMI.INI (and NAMI.INI itself) go through the
// same helper: special files are refused at once, symbolic links to the
// link passwords are refused, and nothing is read past its size limit.
TEST(UserFile, TheFilesBesideTheSettingsAreReadThroughTheHelper) {
  TempDir dir;
  const std::string fifo = dir.File("pipe"), huge = dir.File("huge"), plain = dir.File("plain");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteFile(plain, "telnet://a:23 pw\n/home/x/a.nmi\n");
  ::chmod(plain.c_str(), 0600);
  {
    std::FILE* f = std::fopen(huge.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(::ftruncate(fileno(f), 1LL << 30), 0);  // 1 GB, sparse
    std::fclose(f);
  }
  ::chmod(huge.c_str(), 0600);
  ASSERT_EQ(::symlink("/dev/zero", dir.File("to-zero").c_str()), 0);
  ASSERT_EQ(::symlink(plain.c_str(), dir.File("to-plain").c_str()), 0);
  struct Case {
    std::string path;
    const char* passwordFault;  // empty: the password is read
    std::size_t recent;         // entries read from it as the recent-files list
    const char* settingsFault;  // empty: read
  } cases[] = {
      {fifo, "is a named pipe (FIFO), not a file", 0, "not a regular file"},
      {dir.File("to-zero"), "is a symbolic link", 0, "not a regular file"},
      {dir.File("to-plain"), "is a symbolic link", 2, ""},
      {dir.Path(), "is a folder, not a file", 0, "folder"},
      {huge, "File too large", 0, "File too large"},
      {plain, "", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    FileFault fault;
    std::string password;
    EXPECT_TRUE(ReturnsAtOnce([&] { password = ReadLinkPasswordFile(c.path, "telnet://a:23", fault); }, fifo));
    EXPECT_EQ(password, *c.passwordFault ? "" : "pw");
    EXPECT_NE(FileFaultText(fault).find(c.passwordFault), std::string::npos) << FileFaultText(fault);
    EXPECT_EQ(fault.Failed(), *c.passwordFault != 0);

    std::size_t recent = 99;
    EXPECT_TRUE(ReturnsAtOnce([&] { recent = CRecentFiles(c.path).Items().size(); }, fifo));
    EXPECT_EQ(recent, c.recent);

    CIniFile ini(c.path);
    EXPECT_EQ(ini.ReadString("x", "y", 10), "");
    EXPECT_NE(ini.Problem().find(c.settingsFault), std::string::npos) << ini.Problem();
    EXPECT_EQ(ini.Problem().empty(), *c.settingsFault == 0) << ini.Problem();
  }
}

}  // namespace
}  // namespace nami::test
