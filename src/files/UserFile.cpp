#include "files/UserFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace nami {
namespace {

// False for a regular file; else true with `fault` saying what it is.
bool NotRegular(mode_t mode, const std::string& path, FileFault& fault) {
  if (S_ISREG(mode)) return false;
  fault = FileFault{};
  fault.path = path;
  fault.kind = S_ISDIR(mode) ? FileFaultKind::IsDirectory : FileFaultKind::NotRegular;
  fault.form = S_ISFIFO(mode)                   ? FileForm::Fifo
               : S_ISCHR(mode) || S_ISBLK(mode) ? FileForm::Device
               : S_ISSOCK(mode)                 ? FileForm::Socket
                                                : FileForm::Other;
  return true;
}

}  // namespace

int OpenUserFile(const std::string& path, UserFileMode mode, FileFault& fault) {
  fault = FileFault{};
  // Looked at before opening: opening a device may already do something.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && NotRegular(st.st_mode, path, fault)) return -1;
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
  if (NotRegular(st.st_mode, path, fault)) {
    ::close(fd);
    return -1;
  }
  // Emptied only now that it is known to be a regular file.
  if ((mode == UserFileMode::Truncate && ::ftruncate(fd, 0) != 0) ||
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
