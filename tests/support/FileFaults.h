// File-system failures for tests: settings file operations that fail on
// demand, and a small real tmpfs that can be filled up.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/FileOps.h"

namespace nami::test {

// Each errno field, when set, makes that call fail with it.
struct FaultyFileOps : IFileOps {
  int openErrno = 0;
  int readErrno = 0;
  int writeErrno = 0;
  int renameErrno = 0;
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (writeErrno) return (errno = writeErrno, -1);
    return PosixFileOps().Write(fd, data, size);
  }
  int Sync(int fd) override { return PosixFileOps().Sync(fd); }
  int Rename(const char* from, const char* to) override {
    if (renameErrno) return (errno = renameErrno, -1);
    return PosixFileOps().Rename(from, to);
  }
  int Open(const char* path, int flags) override {
    if (openErrno) return (errno = openErrno, -1);
    return PosixFileOps().Open(path, flags);
  }
  ssize_t Read(int fd, void* data, std::size_t size) override {
    if (readErrno) return (errno = readErrno, -1);
    return PosixFileOps().Read(fd, data, size);
  }
};

// A tmpfs of `bytes` mounted on a fresh folder (needs the right to mount:
// root, or a user namespace); Mounted() is false otherwise and Why() says why.
class SmallTmpfs {
 public:
  explicit SmallTmpfs(std::size_t bytes) {
    char tmpl[] = "/tmp/nami-tmpfs-XXXXXX";
    if (!::mkdtemp(tmpl)) {
      why_ = std::strerror(errno);
      return;
    }
    path_ = tmpl;
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) ::rmdir(path_.c_str());
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Fills the file system, then frees `leave` bytes of it again.
  void FillLeaving(std::size_t leave) {
    const std::string filler = File(".filler");
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return;
    const std::string block(4096, 'x');
    off_t size = 0;
    for (ssize_t n; (n = ::write(fd, block.data(), block.size())) > 0;) size += n;
    if (::ftruncate(fd, size > static_cast<off_t>(leave) ? size - static_cast<off_t>(leave) : 0) != 0) size = 0;
    ::close(fd);
  }

 private:
  std::string path_;
  std::string why_;
  bool mounted_ = false;
};

}  // namespace nami::test
