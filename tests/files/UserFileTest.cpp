// Files the user names: opened without ever blocking, regular files only.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "document/DocumentFile.h"
#include "files/TextFile.h"
#include "files/UserFile.h"

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

}  // namespace
}  // namespace nami::test
