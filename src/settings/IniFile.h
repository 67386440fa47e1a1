// A Windows private-profile file ("NAMI.INI"), read and written the way
// Windows does it, so files move between the old program and this one.
//
// - Bytes are CP932; sections "[name]", lines "key=value"; section and key
//   names compare without regard to ASCII letter case; the first matching
//   section and key win; lines the reader does not understand are kept.
// - Reading drops blanks around key and value and one pair of enclosing
//   double quotes: a missing file, section or key reads as the empty text.
//   Values are cut to the reader's buffer size less one.
// - A file that exists but cannot be read (no permission, a folder in its
//   place, an I/O error) is never taken for an empty one: every key reads as
//   missing (so the program runs on its defaults) and nothing is written to
//   that file for the life of this object, since a write would replace every
//   line the user had with the few keys written.
// - A file without write permission is not replaced either. Every write
//   that is refused or fails returns false; the first such problem is kept
//   as a message naming the file and the reason, for the shell to show once.
// - Writing quotes a value that begins or ends with a blank or a quote, so
//   the next reader sees exactly what was written; it replaces the file
//   atomically and leaves every other line byte for byte as it was.
// - No value is cached past a change of the file: each read checks the file.
// - Names and values reach callers as CP932 whatever the file's encoding: a
//   file saved as UTF-8 is recognised and written back as UTF-8.
// - The closing "]" and the case folding of names respect two-byte
//   characters, and a value cut to a buffer is cut at a character start.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>

#include "settings/FileOps.h"

namespace nami {

class CIniFile {
 public:
  explicit CIniFile(std::string path, IFileOps& ops = PosixFileOps());

  const std::string& Path() const { return path_; }

  // The value, cut to at most bufSize - 1 bytes at a character start; empty when missing.
  std::string ReadString(std::string_view section, std::string_view key, int bufSize) const;
  // True when the key is present (even with an empty value).
  bool HasKey(std::string_view section, std::string_view key) const;
  // True when the file has a section of that name.
  bool HasSection(std::string_view section) const;
  // Writes one key; false when the file could not be replaced (the old file
  // then stays whole), is read-only or could not be read. Line breaks in the
  // value are cut off: a value is one line.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

  // The first read or write problem (UTF-8, naming the file and the reason)
  // once: empty after it has been taken, or when there was none.
  std::string TakeProblem();
  // The first problem, whether taken or not; empty when there was none.
  const std::string& Problem() const { return problem_; }

 private:
  // Position of a key's value in the raw text.
  struct Found {
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t lineStart = 0;     // the key's line
    std::size_t lineEnd = 0;       // end of its text (before the line end)
    std::size_t insertAt = 0;      // where a new key of the section goes
    std::string value;
  };
  Found Locate(std::string_view section, std::string_view key) const;
  const std::string& Text() const;
  // A file saved as UTF-8 (a byte-order mark, or valid UTF-8 holding a
  // character of three or more bytes) is read and written as UTF-8; any
  // other is CP932. Callers see CP932 either way.
  void DetectEncoding() const;
  std::string ToFile(std::string_view cp932) const;
  std::string FromFile(std::string_view bytes) const;
  void NoteProblem(const std::string& text) const;

  std::string path_;
  IFileOps& ops_;
  // The file as last read, and what identified it then.
  mutable std::string text_;
  mutable bool loaded_ = false;
  mutable ino_t ino_ = 0;
  mutable off_t size_ = -1;
  mutable timespec mtime_{};
  mutable bool utf8_ = false;
  mutable bool bom_ = false;
  mutable bool unreadable_ = false;
  mutable std::string problem_;
  mutable bool problemTaken_ = false;
};

}  // namespace nami
