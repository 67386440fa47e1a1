// Opens a file the user named (a capture, an upload, a copy target, a log,
// a mail file, a document) or one nami keeps beside NAMI.INI (the recent
// files, the link passwords). Never blocks: a named pipe or a device without
// a peer cannot hold the program. Only regular files are taken, and for
// writing also the null device (a log sent to /dev/null); a folder, a named
// pipe, another device or a socket is refused, and the fault says which.
// Whole-file reads are bounded, so no file can make nami take all memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "text/FileFault.h"

namespace nami {

// ReadNoLink: reading a file of secrets, whose symbolic link is refused
// rather than followed.
enum class UserFileMode { Read, ReadNoLink, Append, Truncate };

// A descriptor (blocking again once the file is known to be regular), or
// -1 with `fault` set (its kind, the errno and the path).
int OpenUserFile(const std::string& path, UserFileMode mode, FileFault& fault);
// The same as a stdio stream ("rb", "ab" or "wb").
std::FILE* OpenUserStream(const std::string& path, UserFileMode mode, FileFault& fault);

// Takes a descriptor opened (non-blocking) by another layer's own calls
// through the same checks: a regular file, of at most `maxBytes` bytes when
// that is not 0 (else kind TooLarge with its size); it is made blocking.
// False with `fault` set; the descriptor is left open either way.
bool CheckUserFile(int fd, const std::string& path, std::uint64_t maxBytes, FileFault& fault);

// Reads the whole file (opened with `mode` Read or ReadNoLink) of at most
// `maxBytes` bytes into `out`; false with `fault` set, `out` then empty. A
// file that grows past the limit while it is read is refused too.
bool ReadUserFile(const std::string& path, UserFileMode mode, std::uint64_t maxBytes, std::string& out,
                  FileFault& fault);
// The same on a descriptor from OpenUserFile (read from where it stands;
// left open).
bool ReadOpenUserFile(int fd, const std::string& path, std::uint64_t maxBytes, std::string& out, FileFault& fault);

}  // namespace nami
