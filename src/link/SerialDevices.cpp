#include "link/SerialDevices.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace nami {

std::vector<std::string> FindSerialDevices(const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::vector<std::string> result;
  std::error_code ec;
  std::vector<std::string> byId;
  for (fs::directory_iterator it(devRoot + "/serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
    byId.push_back(it->path().string());
  }
  std::sort(byId.begin(), byId.end());
  result = byId;
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    std::vector<std::pair<long, std::string>> found;
    std::string p(prefix);
    for (fs::directory_iterator it(devRoot, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (name.size() <= p.size() || name.compare(0, p.size(), p) != 0) continue;
      std::string digits = name.substr(p.size());
      if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
      if (digits.size() > 6) continue;
      found.emplace_back(std::stol(digits), it->path().string());
    }
    std::sort(found.begin(), found.end());
    for (auto& f : found) result.push_back(f.second);
  }
  return result;
}

}  // namespace nami
