// The file `link-passwords` beside NAMI.INI, where the passwords of telnet
// links are kept when no desktop keyring answers: one line per link, its
// `[Devices]` value, a blank, the password. Read only when nobody but its
// owner may read or change it.
#pragma once

#include <cstdint>
#include <string>

#include "text/FileFault.h"

namespace nami {

// The largest file read: far more than any station's links need.
inline constexpr std::uint64_t kMaxLinkPasswordBytes = 64 * 1024;

// The path of the file beside `iniPath`.
std::string LinkPasswordFile(const std::string& iniPath);
// The password of `link` from the file at `path`. Empty when the file or
// the line is missing; `fault` says why when the file exists but is not
// used (readable by others, not a regular file, a symbolic link, unreadable,
// too large). Never waits: a named pipe is refused at once.
std::string ReadLinkPasswordFile(const std::string& path, const std::string& link, FileFault& fault);
// Keeps `password` for `link` in the file at `path`: its line replaced or
// added, the other lines kept, the file readable by its owner alone (0600).
// False, with `fault`, when it cannot be written.
bool WriteLinkPasswordFile(const std::string& path, const std::string& link, const std::string& password,
                           FileFault& fault);

}  // namespace nami
