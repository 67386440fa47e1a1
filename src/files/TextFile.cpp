#include "files/TextFile.h"

#include "files/UserFile.h"

namespace nami {

CTextFile::~CTextFile() { Close(); }

bool CTextFile::Open(const std::string& path, Mode mode) {
  Close();
  file_ = OpenUserStream(path, mode == Mode::Append ? UserFileMode::Append : UserFileMode::Truncate, fault_);
  if (!file_) return false;
  path_ = path;
  return true;
}

bool CTextFile::WriteRaw(std::string_view bytes) {
  if (!file_) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    std::clearerr(file_);
    return false;
  }
  if (std::fflush(file_) != 0) {
    std::clearerr(file_);
    return false;
  }
  return true;
}

bool CTextFile::WriteLine(std::string_view line) {
  std::string buffer;
  buffer.reserve(line.size() + 2);
  buffer.append(line);
  buffer += "\r\n";
  return WriteRaw(buffer);
}

bool CTextFile::Close() {
  if (!file_) return true;
  bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

}  // namespace nami
