// A text-mode output file: each line written ends with CR LF on disk and is
// flushed at once, so a crash or power loss never loses a line already
// received. Used for the download capture and for the autopilot's LogFile.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "text/FileFault.h"

namespace nami {

class CTextFile {
 public:
  enum class Mode { Append, Truncate };

  CTextFile() = default;
  ~CTextFile();
  CTextFile(const CTextFile&) = delete;
  CTextFile& operator=(const CTextFile&) = delete;

  // Opens (creating when missing) through OpenUserFile: never blocks, and
  // only a regular file; false when the file cannot be opened, and Fault()
  // says why.
  bool Open(const std::string& path, Mode mode);
  const FileFault& Fault() const { return fault_; }
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  // Writes the bytes, then CR LF, and flushes; false on any failure.
  bool WriteLine(std::string_view line);
  // Writes bytes as they are (no line end added) and flushes.
  bool WriteRaw(std::string_view bytes);
  // Closes; false when the last data could not be written. Closing a file
  // that is not open does nothing and succeeds.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  FileFault fault_;
};

}  // namespace nami
