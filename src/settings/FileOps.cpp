#include "settings/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/UserFile.h"

namespace nami {
namespace {

class RealFileOps final : public IFileOps {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
  int Sync(int fd) override { return ::fsync(fd); }
  int Rename(const char* from, const char* to) override { return ::rename(from, to); }
};

void MakeParentFolders(const std::string& path) {
  for (std::size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    std::string dir = path.substr(0, pos);
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return;
  }
}

std::string FollowLink(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(path.c_str(), resolved)) {
    return resolved;
  }
  return path;
}

}  // namespace

IFileOps& PosixFileOps() {
  static RealFileOps ops;
  return ops;
}

bool WriteFileAtomically(const std::string& pathIn, std::string_view data, IFileOps& ops, std::string* why) {
  const std::string path = FollowLink(pathIn);
  MakeParentFolders(path);
  std::string tmpl = path + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  auto fail = [why](const char* what) {
    if (why) *why = std::string(what) + ": " + std::strerror(errno ? errno : EIO);
    return false;
  };
  int fd = ::mkstemp(name.data());
  if (fd < 0) return fail("cannot create a file beside it");
  struct stat st;
  mode_t mode = 0644;
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  ::fchmod(fd, mode);

  const char* failed = nullptr;
  std::size_t done = 0;
  while (!failed && done < data.size()) {
    errno = 0;
    ssize_t n = ops.Write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      failed = "cannot write";
    else if (n == 0)
      failed = (errno = ENOSPC, "cannot write");
    else
      done += static_cast<std::size_t>(n);
  }
  if (!failed && ops.Sync(fd) != 0) failed = "cannot flush";
  if (::close(fd) != 0 && !failed) failed = "cannot close";
  if (!failed && ops.Rename(name.data(), path.c_str()) != 0) failed = "cannot replace it";
  if (failed) {
    const int saved = errno;
    ::unlink(name.data());
    errno = saved;
    return fail(failed);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, IFileOps& ops, std::string* why, std::uint64_t maxBytes) {
  out.clear();
  int fd = ops.Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return false;
  }
  FileFault fault;
  if (!CheckUserFile(fd, path, maxBytes, fault)) {
    if (why) *why = FileFaultText(fault);
    ::close(fd);
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ops.Read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && maxBytes != 0 && out.size() + static_cast<std::size_t>(n) > maxBytes)) {
      if (why) *why = std::strerror(n < 0 ? errno : EFBIG);
      ::close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

}  // namespace nami
