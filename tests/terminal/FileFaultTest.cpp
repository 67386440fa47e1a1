// Why a file the user named does not open, on real files: the kind, the
// errno and the path travel to where the words are made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/TestSupport.h"
#include "document/DocumentFile.h"
#include "files/UserFile.h"
#include "text/FileFault.h"
#include "text/Messages.h"

namespace nami {
namespace {

struct Tried {
  bool opened = false;
  FileFault fault;
  std::string text;  // FileFaultText
};

// Opens `path` in a child that has given up root (root may write into any
// folder), and brings back what it met.
Tried OpenAsUser(const std::string& path, UserFileMode mode) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    FileFault fault;
    const int fd = OpenUserFile(path, mode, fault);
    const int head[4] = {fd >= 0, static_cast<int>(fault.kind), fault.error, static_cast<int>(fault.form)};
    const std::string text = FileFaultText(fault) + '\n' + fault.path;
    const bool ok = ::write(fds[1], head, sizeof head) == static_cast<ssize_t>(sizeof head) &&
                    ::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(ok ? 0 : 3);
  }
  ::close(fds[1]);
  std::string bytes;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  Tried t;
  int head[4] = {};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || bytes.size() < sizeof head) return t;
  std::memcpy(head, bytes.data(), sizeof head);
  t.opened = head[0] != 0;
  t.fault.kind = static_cast<FileFaultKind>(head[1]);
  t.fault.error = head[2];
  t.fault.form = static_cast<FileForm>(head[3]);
  const std::string rest = bytes.substr(sizeof head);
  t.text = rest.substr(0, rest.find('\n'));
  t.fault.path = rest.substr(rest.find('\n') + 1);
  return t;
}

TEST(FileFault, EachFailureKeepsItsKindErrnoAndPath) {
  test::TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);  // the unprivileged child looks into it
  const std::string folder = dir.File("東京局");
  ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
  ::chmod(folder.c_str(), 0777);
  const std::string readOnly = dir.File("読取専用");
  ASSERT_EQ(::mkdir(readOnly.c_str(), 0555), 0);
  const std::string fifo = folder + "/パイプ";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  const std::string plain = folder + "/メール.txt";
  test::WriteFile(plain, "text");
  ::chmod(plain.c_str(), 0666);

  struct Case {
    const char* name;
    std::string path;
    UserFileMode mode;
    FileFaultKind kind;
    int error;
    const char* text;
  };
  const Case cases[] = {
      {"missing", folder + "/無い.txt", UserFileMode::Read, FileFaultKind::NotFound, ENOENT,
       "No such file or directory"},
      {"under a file", plain + "/x", UserFileMode::Append, FileFaultKind::NotFound, ENOTDIR, "Not a directory"},
      {"a folder", folder, UserFileMode::Read, FileFaultKind::IsDirectory, 0, "is a folder, not a file"},
      {"a FIFO", fifo, UserFileMode::Append, FileFaultKind::NotRegular, 0, "is a named pipe (FIFO), not a file"},
      {"in a read-only folder", readOnly + "/受信.log", UserFileMode::Truncate, FileFaultKind::Permission, EACCES,
       "Permission denied"},
      {"a Japanese folder", plain, UserFileMode::Append, FileFaultKind::None, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Tried t = OpenAsUser(c.path, c.mode);
    EXPECT_EQ(t.opened, c.kind == FileFaultKind::None);
    EXPECT_EQ(t.fault.kind, c.kind);
    EXPECT_EQ(t.fault.error, c.error);
    EXPECT_EQ(t.text, c.text);
    EXPECT_EQ(t.fault.path, c.kind == FileFaultKind::None ? "" : c.path) << "the name as the file system has it";
  }
}

// The words are made where the failure is shown, from the catalogue's whole
// sentences; a Japanese name stays UTF-8.
TEST(FileFault, TheMessageNamesTheFileAndTheReason) {
  test::TempDir dir;
  const std::string folder = dir.File("無線局");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  test::WriteFile(folder + "/壊れた.nmi", "not a document");
  struct Case {
    std::string path;
    std::string box;       // the message box of a text file that does not open
    std::string document;  // why a document does not open
  };
  const Case cases[] = {
      {folder + "/無い.nmi", "Cannot Open File\n" + folder + "/無い.nmi: No such file or directory",
       "Cannot Open File: No such file or directory"},
      {folder, "Cannot Open File\n" + folder + ": is a folder, not a file",
       "Cannot Open File: is a folder, not a file"},
      {folder + "/壊れた.nmi", "", "This file is not a nami document (not a compound file)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CLineStore store;
    FileFault fault;
    ASSERT_FALSE(LoadDocument(store, c.path, fault));
    EXPECT_EQ(fault.path, c.path);
    EXPECT_EQ(DocumentFaultText(fault), c.document);
    if (c.box.empty()) continue;
    EXPECT_EQ(msg::Format(msg::CannotOpenFileBecause, {{"file", fault.path}, {"reason", FileFaultText(fault)}}), c.box);
  }
}

}  // namespace
}  // namespace nami
