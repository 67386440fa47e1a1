// The few file-system calls whose failure the core must survive, behind an
// interface so tests can inject a full disk or a failed rename.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nami {

class IFileOps {
 public:
  virtual ~IFileOps() = default;
  virtual ssize_t Write(int fd, const void* data, std::size_t size) = 0;
  virtual int Sync(int fd) = 0;
  virtual int Rename(const char* from, const char* to) = 0;
  // Reading, so that tests can make a file unreadable even to root.
  virtual int Open(const char* path, int flags) { return ::open(path, flags); }
  virtual ssize_t Read(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }
};

// The real calls.
IFileOps& PosixFileOps();

// The largest settings file read (NAMI.INI is a few kilobytes).
inline constexpr std::uint64_t kMaxSettingsFileBytes = 16u << 20;

// Replaces `path` with `data` atomically: a temporary file beside it is
// written and flushed, then renamed over it. On any failure the old file is
// left whole and the temporary file removed; returns false. Missing parent
// folders are created. A symbolic link at `path` is followed, so the file it
// names is replaced and the link stays. `why` receives the reason of a failure,
// and errno is left at its cause.
bool WriteFileAtomically(const std::string& path, std::string_view data, IFileOps& ops = PosixFileOps(),
                         std::string* why = nullptr);

// Reads a whole regular file of at most `maxBytes` bytes, opened without
// waiting (the checks of files/UserFile.h); false when it cannot be opened or
// read, is not a regular file or is larger (`why` says why).
bool ReadWholeFile(const std::string& path, std::string& out, IFileOps& ops = PosixFileOps(),
                   std::string* why = nullptr, std::uint64_t maxBytes = kMaxSettingsFileBytes);

}  // namespace nami
