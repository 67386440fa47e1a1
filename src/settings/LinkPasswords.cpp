#include "settings/LinkPasswords.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "files/UserFile.h"

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
  // A symbolic link is refused, not followed: it could point the secrets
  // anywhere. A missing file is no fault.
  const int fd = OpenUserFile(path, UserFileMode::ReadNoLink, fault);
  if (fd < 0) {
    if (fault.kind == FileFaultKind::NotFound) fault = FileFault{};
    return {};
  }
  struct stat st {};
  const bool protectedFile =
      ::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
  std::string text;
  const bool read = protectedFile && ReadOpenUserFile(fd, path, kMaxLinkPasswordBytes, text, fault);
  ::close(fd);
  if (!protectedFile) fault = FileFault{FileFaultKind::Unprotected, 0, path};
  if (!read) return {};
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t blank = line.find_first_of(" \t");
    if (blank != std::string_view::npos && line.substr(0, blank) == link) return std::string(line.substr(blank + 1));
    at = end + 1;
  }
  return {};
}

}  // namespace nami
