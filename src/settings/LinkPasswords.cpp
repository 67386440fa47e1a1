#include "settings/LinkPasswords.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "files/UserFile.h"

namespace nami {

std::string LinkPasswordFile(const std::string& iniPath) {
  std::size_t slash = iniPath.rfind('/');
  return (slash == std::string::npos ? std::string() : iniPath.substr(0, slash + 1)) + "link-passwords";
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
