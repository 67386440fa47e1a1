// The recent-file list (10 entries, newest first), kept in the file
// "recent-files" beside NAMI.INI, one path per line.
#pragma once

#include <string>
#include <vector>

namespace nami {

class CRecentFiles {
 public:
  static constexpr std::size_t kMax = 10;
  // The largest list file read: ten paths with room to spare.
  static constexpr std::size_t kMaxListBytes = 256 * 1024;
  // The list file for a settings file path.
  static std::string PathBeside(const std::string& iniPath);

  explicit CRecentFiles(std::string listPath);
  const std::vector<std::string>& Items() const { return items_; }
  // Puts `path` first (removing an older entry of it) and writes the list.
  void Add(const std::string& path);
  void Remove(const std::string& path);

 private:
  void Save() const;
  std::string listPath_;
  std::vector<std::string> items_;
};

}  // namespace nami
