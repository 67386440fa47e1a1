// Opens a file the user named (a capture, an upload, a copy target, a log,
// a mail file, a document). Never blocks: a named pipe or a device without
// a peer cannot hold the program. Only regular files are taken, and for
// writing also the null device (a log sent to /dev/null); a folder, a named
// pipe, another device or a socket is refused, and the fault says which.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "text/FileFault.h"

namespace nami {

enum class UserFileMode { Read, Append, Truncate };

// A descriptor (blocking again once the file is known to be regular), or
// -1 with `fault` set (its kind, the errno and the path).
int OpenUserFile(const std::string& path, UserFileMode mode, FileFault& fault);
// The same as a stdio stream ("rb", "ab" or "wb").
std::FILE* OpenUserStream(const std::string& path, UserFileMode mode, FileFault& fault);

}  // namespace nami
