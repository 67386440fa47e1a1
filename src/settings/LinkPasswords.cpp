#include "settings/LinkPasswords.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace nami {

std::string LinkPasswordFile(const std::string& iniPath) {
  std::size_t slash = iniPath.rfind('/');
  return (slash == std::string::npos ? std::string() : iniPath.substr(0, slash + 1)) + "link-passwords";
}

bool WriteLinkPasswordFile(const std::string& path, const std::string& link, const std::string& password,
                           FileFault& fault) {
  fault = FileFault{};
  // The other links' lines, as they are.
  std::string kept;
  if (FILE* in = std::fopen(path.c_str(), "re")) {
    std::string line;
    for (int c = std::fgetc(in);; c = std::fgetc(in)) {
      if (c == EOF || c == '\n') {
        const std::size_t blank = line.find_first_of(" \t");
        const bool same = blank != std::string::npos && line.compare(0, blank, link) == 0;
        if (!line.empty() && !same) kept += line + "\n";
        line.clear();
        if (c == EOF) break;
      } else {
        line.push_back(static_cast<char>(c));
      }
    }
    std::fclose(in);
  }
  kept += link + " " + password + "\n";
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    fault = SystemFileFault(errno, path);
    return false;
  }
  bool ok = ::fchmod(fd, 0600) == 0;
  for (std::size_t done = 0; ok && done < kept.size();) {
    const ssize_t n = ::write(fd, kept.data() + done, kept.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  const int error = ok ? 0 : errno;
  if (::fsync(fd) != 0 && ok) ok = false;
  ::close(fd);
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  fault = SystemFileFault(error ? error : errno, path);
  ::unlink(temp.c_str());
  return false;
}

std::string ReadLinkPasswordFile(const std::string& path, const std::string& link, FileFault& fault) {
  fault = FileFault{};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    fault = FileFault{S_ISDIR(st.st_mode) ? FileFaultKind::IsDirectory : FileFaultKind::NotRegular, 0, path};
    return {};
  }
  if (st.st_uid != ::getuid() || (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    ::close(fd);
    fault = FileFault{FileFaultKind::Unprotected, 0, path};
    return {};
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, "r"), &std::fclose);
  if (!file) {
    ::close(fd);
    return {};
  }
  std::string line;
  for (;;) {
    const int c = std::fgetc(file.get());
    if (c == EOF || c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::size_t blank = line.find_first_of(" \t");
      if (blank != std::string::npos && line.compare(0, blank, link) == 0) return line.substr(blank + 1);
      line.clear();
      if (c == EOF) break;
    } else if (line.size() < 4096) {
      line.push_back(static_cast<char>(c));
    }
  }
  return {};
}

}  // namespace nami
