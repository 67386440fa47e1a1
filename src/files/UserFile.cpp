#include "files/UserFile.h"

#include "text/Messages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nami {
namespace {

// Empty for a regular file, else what it is.
std::string NotRegular(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return msg::IsAFolder;
  if (S_ISFIFO(mode)) return msg::IsAFifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return msg::IsADevice;
  if (S_ISSOCK(mode)) return msg::IsASocket;
  return msg::IsNotARegularFile;
}

}  // namespace

int OpenUserFile(const std::string& path, UserFileMode mode, std::string& reason) {
  reason.clear();
  // Looked at before opening: opening a device may already do something.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !NotRegular(st.st_mode).empty()) {
    reason = NotRegular(st.st_mode);
    return -1;
  }
  int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  flags |= mode == UserFileMode::Read ? O_RDONLY : O_WRONLY | O_CREAT | (mode == UserFileMode::Append ? O_APPEND : 0);
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return -1;
  }
  // The name may have changed between the look and the open.
  if (::fstat(fd, &st) != 0 || !NotRegular(st.st_mode).empty()) {
    reason = ::fstat(fd, &st) == 0 ? NotRegular(st.st_mode) : std::string(std::strerror(errno));
    ::close(fd);
    return -1;
  }
  // Emptied only now that it is known to be a regular file.
  if ((mode == UserFileMode::Truncate && ::ftruncate(fd, 0) != 0) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    reason = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

std::FILE* OpenUserStream(const std::string& path, UserFileMode mode, std::string& reason) {
  const int fd = OpenUserFile(path, mode, reason);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, mode == UserFileMode::Read ? "rb" : mode == UserFileMode::Append ? "ab" : "wb");
  if (!f) {
    reason = std::strerror(errno);
    ::close(fd);
  }
  return f;
}

}  // namespace nami
