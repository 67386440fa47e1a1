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
  const bool reading = mode == UserFileMode::Read || mode == UserFileMode::ReadNoLink;
  if (S_ISREG(st.st_mode) || (!reading && IsNullDevice(st))) return false;
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

bool CheckUserFile(int fd, const std::string& path, std::uint64_t maxBytes, FileFault& fault) {
  fault = FileFault{};
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    fault = SystemFileFault(errno, path);
    return false;
  }
  if (NotRegular(st, UserFileMode::Read, path, fault)) return false;
  if (maxBytes != 0 && static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    fault = FileFault{FileFaultKind::TooLarge, EFBIG, path};
    fault.number = static_cast<std::uint64_t>(st.st_size);
    return false;
  }
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    fault = SystemFileFault(errno, path);
    return false;
  }
  return true;
}

int OpenUserFile(const std::string& path, UserFileMode mode, FileFault& fault) {
  fault = FileFault{};
  const bool reading = mode == UserFileMode::Read || mode == UserFileMode::ReadNoLink;
  // Looked at before opening: opening a device may already do something.
  struct stat st {};
  const int looked = mode == UserFileMode::ReadNoLink ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st);
  if (looked == 0 && mode == UserFileMode::ReadNoLink && S_ISLNK(st.st_mode)) {
    fault = FileFault{FileFaultKind::NotRegular, 0, path};
    fault.form = FileForm::Symlink;
    return -1;
  }
  if (looked == 0 && NotRegular(st, mode, path, fault)) return -1;
  int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
  flags |= reading ? O_RDONLY : O_WRONLY | O_CREAT | (mode == UserFileMode::Append ? O_APPEND : 0);
  if (mode == UserFileMode::ReadNoLink) flags |= O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    const int error = errno;
    fault = SystemFileFault(error, path);
    if (error == ELOOP && mode == UserFileMode::ReadNoLink) {
      fault = FileFault{FileFaultKind::NotRegular, 0, path};
      fault.form = FileForm::Symlink;
    }
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

bool ReadUserFile(const std::string& path, UserFileMode mode, std::uint64_t maxBytes, std::string& out,
                  FileFault& fault) {
  out.clear();
  const int fd = OpenUserFile(path, mode, fault);
  if (fd < 0) return false;
  const bool ok = ReadOpenUserFile(fd, path, maxBytes, out, fault);
  ::close(fd);
  return ok;
}

bool ReadOpenUserFile(int fd, const std::string& path, std::uint64_t maxBytes, std::string& out, FileFault& fault) {
  out.clear();
  bool ok = CheckUserFile(fd, path, maxBytes, fault);
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fault = SystemFileFault(errno, path);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (maxBytes != 0 && out.size() + static_cast<std::size_t>(n) > maxBytes) {
      fault = FileFault{FileFaultKind::TooLarge, EFBIG, path};
      fault.number = out.size() + static_cast<std::size_t>(n);
      ok = false;
    } else {
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }
  if (!ok) out.clear();
  return ok;
}

std::FILE* OpenUserStream(const std::string& path, UserFileMode mode, FileFault& fault) {
  const int fd = OpenUserFile(path, mode, fault);
  if (fd < 0) return nullptr;
  const bool reading = mode == UserFileMode::Read || mode == UserFileMode::ReadNoLink;
  std::FILE* f = ::fdopen(fd, reading ? "rb" : mode == UserFileMode::Append ? "ab" : "wb");
  if (!f) {
    fault = SystemFileFault(errno, path);
    ::close(fd);
  }
  return f;
}

}  // namespace nami
