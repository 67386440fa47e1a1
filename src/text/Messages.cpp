#include "text/Messages.h"

namespace nami::msg {

std::string Format(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  out.reserve(text.size() + 64);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('{', pos);
    const std::size_t close = open == std::string_view::npos ? open : text.find('}', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text, pos, open - pos);
    const std::string_view name = text.substr(open + 1, close - open - 1);
    const auto* value = values.begin();
    while (value != values.end() && value->first != name) ++value;
    if (value != values.end()) {
      out.append(value->second);
    } else {
      out.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  out.append(text, pos);
  return out;
}

}  // namespace nami::msg
