#include "settings/RecentFiles.h"

#include <algorithm>
#include <sstream>

#include "files/UserFile.h"
#include "settings/FileOps.h"

namespace nami {

std::string CRecentFiles::PathBeside(const std::string& iniPath) {
  const std::size_t slash = iniPath.rfind('/');
  return (slash == std::string::npos ? std::string() : iniPath.substr(0, slash + 1)) + "recent-files";
}

CRecentFiles::CRecentFiles(std::string listPath) : listPath_(std::move(listPath)) {
  // A list of a few paths: anything larger, or not a regular file, is not one.
  std::string text;
  FileFault fault;
  if (!ReadUserFile(listPath_, UserFileMode::Read, kMaxListBytes, text, fault)) return;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line) && items_.size() < kMax)
    if (!line.empty() && std::find(items_.begin(), items_.end(), line) == items_.end()) items_.push_back(line);
}

void CRecentFiles::Add(const std::string& path) {
  if (path.empty() || path.find('\n') != std::string::npos) return;
  items_.erase(std::remove(items_.begin(), items_.end(), path), items_.end());
  items_.insert(items_.begin(), path);
  if (items_.size() > kMax) items_.resize(kMax);
  Save();
}

void CRecentFiles::Remove(const std::string& path) {
  items_.erase(std::remove(items_.begin(), items_.end(), path), items_.end());
  Save();
}

void CRecentFiles::Save() const {
  std::string text;
  for (const std::string& p : items_) text += p + "\n";
  WriteFileAtomically(listPath_, text);  // the list is a convenience: a failed write is not reported
}

}  // namespace nami
