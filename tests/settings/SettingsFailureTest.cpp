// What the settings store does when NAMI.INI cannot be read or written: one
// scenario table over injected failures and a real full tmpfs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>

#include "settings/Settings.h"
#include "support/FileFaults.h"
#include "support/TestSupport.h"

namespace nami::test {
namespace {

const char kIni[] =
    "[Window]\r\nx=120\r\n[JA1XYZ]\r\ncall=JA1XYZ-1\r\ncomstatus=COM3:4800,n,8,1,n\r\nLastMailNo=4711\r\n";

struct Scenario {
  const char* name;
  // Arranges the failure for the file at `path`; may replace the path (a tmpfs).
  std::function<void(std::string& path, FaultyFileOps& ops)> arrange;
  bool readable;       // the profile still reads
  const char* reason;  // in the one message
};

TEST(SettingsFailure, NothingIsLostWhenTheFileCannotBeReadOrWritten) {
  std::unique_ptr<SmallTmpfs> tmpfs;
  const Scenario scenarios[] = {
      {"no permission to read", [](std::string&, FaultyFileOps& ops) { ops.openErrno = EACCES; }, false,
       "Permission denied"},
      {"I/O error while reading", [](std::string&, FaultyFileOps& ops) { ops.readErrno = EIO; }, false,
       "Input/output error"},
      {"a folder in its place",
       [](std::string& path, FaultyFileOps&) {
         ::unlink(path.c_str());
         ::mkdir(path.c_str(), 0755);
       },
       false, "folder"},
      {"read-only file", [](std::string& path, FaultyFileOps&) { ::chmod(path.c_str(), 0444); }, true, "read-only"},
      {"disk full", [](std::string&, FaultyFileOps& ops) { ops.writeErrno = ENOSPC; }, true, "No space left on device"},
      {"folder read-only", [](std::string&, FaultyFileOps& ops) { ops.renameErrno = EROFS; }, true,
       "Read-only file system"},
      {"real full tmpfs",
       [&tmpfs](std::string& path, FaultyFileOps&) {
         tmpfs = std::make_unique<SmallTmpfs>(64 * 1024);
         if (!tmpfs->Mounted()) return;
         path = tmpfs->File("NAMI.INI");
         WriteFile(path, kIni);
         tmpfs->FillLeaving(0);
       },
       true, "No space left on device"},
  };
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    TempDir dir;
    std::string path = dir.File("NAMI.INI");
    WriteFile(path, kIni);
    FaultyFileOps ops;
    sc.arrange(path, ops);
    if (tmpfs && !tmpfs->Mounted()) {
      std::printf("[  SKIPPED ] %s: %s\n", sc.name, tmpfs->Why().c_str());
      tmpfs.reset();
      continue;
    }
    struct stat before {};
    ::stat(path.c_str(), &before);
    const std::string bytes = S_ISDIR(before.st_mode) ? std::string() : ReadFile(path);

    CSettings s(path, ops);
    s.SetProfileSection("JA1XYZ");
    // Reads: the profile as it is, or the defaults; never an error.
    EXPECT_EQ(s.Raw(keys::Call), sc.readable ? "JA1XYZ-1" : "");
    EXPECT_EQ(s.Get(keys::ComStatus), sc.readable ? "COM3:4800,n,8,1,n" : "COM2:9600,n,8,1,n");
    // Writes: each one says it failed; the file keeps every byte.
    EXPECT_FALSE(s.SetInt(keys::X, 300));
    EXPECT_FALSE(s.Set(keys::LastMailNo, "4800"));
    EXPECT_FALSE(s.Rewrite(keys::Send[0]));
    EXPECT_FALSE(s.CopyProfileFrom("Window"));
    if (!S_ISDIR(before.st_mode)) {
      EXPECT_EQ(ReadFile(path), bytes);
    }
    // One message naming the file and the reason, then no more.
    const std::string problem = s.File().TakeProblem();
    EXPECT_NE(problem.find(path), std::string::npos) << problem;
    EXPECT_NE(problem.find(sc.reason), std::string::npos) << problem;
    EXPECT_EQ(s.File().TakeProblem(), "");
    // An unreadable file stays untouched even once it could be read again.
    ops = FaultyFileOps{};
    if (!sc.readable && !S_ISDIR(before.st_mode)) {
      EXPECT_EQ(s.Raw(keys::Call), "");
      EXPECT_FALSE(s.Set(keys::Call, "X"));
      EXPECT_EQ(ReadFile(path), bytes);
    }
    tmpfs.reset();
  }
}

TEST(SettingsFailure, AMissingFileIsEmptyAndCreated) {
  TempDir dir;
  CSettings s(dir.File("sub/NAMI.INI"));
  EXPECT_EQ(s.Raw(keys::Call), "");
  EXPECT_TRUE(s.Set(keys::Call, "JA1AAA"));
  EXPECT_EQ(s.Raw(keys::Call), "JA1AAA");
  EXPECT_EQ(s.File().TakeProblem(), "");
}

}  // namespace
}  // namespace nami::test
