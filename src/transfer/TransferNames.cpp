#include "transfer/TransferNames.h"

#include "text/Messages.h"
#include "time/Clock.h"

namespace nami {

std::string DefaultCaptureName(std::time_t now) { return FormatLocalTime("%y%m%d.DWN", now); }

std::string PasteCutNotice(std::size_t cutBytes) {
  return msg::Format(msg::PasteCut, {{"bytes", std::to_string(cutBytes)}});
}

namespace dialog {

std::vector<FilterEntry> SplitFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = filter.find('|', start);
    if (bar == std::string::npos) {
      parts.push_back(filter.substr(start));
      break;
    }
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<FilterEntry> entries;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;
    entries.push_back({parts[i], parts[i + 1]});
  }
  return entries;
}

}  // namespace dialog
}  // namespace nami
