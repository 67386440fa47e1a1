#include "files/UserFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace nami {
namespace {

// The null device (/dev/null or another node of it): writes vanish and
// opening it does nothing, so it is a sound place to send a log to.
bool IsNullDevice(const struct stat& st) { return S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3); }

// False for a regular file, and for the null device when writing; else
// true with `fault` saying what it is.
bool NotRegular(const struct stat& st, UserFileMode mode, const std::string& path, FileFault& fault) {
  if (S_ISREG(st.st_mode) || (mode != UserFileMode::Read && IsNullDevice(st))) return false;
  const mode_t kind = st.st_mode;
  fault = FileFault{};
  fault.path = path;
  fault.kind = S_ISDIR(kind) ? FileFaultKind::IsDirectory : FileFaultKind::NotRegular;
  fault.form = S_ISFIFO(kind)                   ? FileForm::Fifo
               : S_ISCHR(kind) || S_ISBLK(kind) ? FileForm::Device
               : S_ISSOCK(kind)                 ? FileForm::Socket
                                                : FileForm::Other;
  return true;
}

}  // namespace

int OpenUserFile(const std::string& path, UserFileMode mode, FileFault& fault) {
  fault = FileFault{};
  // Looked at before opening: opening a device may already do something.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && NotRegular(st, mode, path, fault)) return -1;
  int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  flags |= mode == UserFileMode::Read ? O_RDONLY : O_WRONLY | O_CREAT | (mode == UserFileMode::Append ? O_APPEND : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    fault = SystemFileFault(errno, path);
    return -1;
  }
  // The name may have changed between the look and the open.
  if (::fstat(fd, &st) != 0) {
    fault = SystemFileFault(errno, path);
    ::close(fd);
    return -1;
  }
  if (NotRegular(st, mode, path, fault)) {
    ::close(fd);
    return -1;
  }
  // Emptied only now that it is known to be a regular file (the null device
  // has nothing to empty).
  if ((mode == UserFileMode::Truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    fault = SystemFileFault(errno, path);
    ::close(fd);
    return -1;
  }
  return fd;
}

std::FILE* OpenUserStream(const std::string& path, UserFileMode mode, FileFault& fault) {
  const int fd = OpenUserFile(path, mode, fault);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, mode == UserFileMode::Read ? "rb" : mode == UserFileMode::Append ? "ab" : "wb");
  if (!f) {
    fault = SystemFileFault(errno, path);
    ::close(fd);
  }
  return f;
}

}  // namespace nami
