#include "automation/AutomationActions.h"

#include "terminal/LineStore.h"
#include "terminal/NamiDoc.h"

namespace nami {

std::string AutomationGetLine(const CLineStore& lines, long long n) {
  const auto count = static_cast<long long>(lines.LineCount());
  if (n < 1 || n > count) return std::string();
  return lines.LineAt(static_cast<std::size_t>(count - n));
}

std::size_t AutomationSendOut(CNamiDoc& doc, std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + 1);
  bytes.append(text);
  bytes.push_back('\r');
  return doc.SendText(bytes);
}

}  // namespace nami
