#include "link/TncParams.h"

namespace nami {
namespace {

constexpr bool RowsInEnumOrder() {
  for (std::size_t i = 0; i < kTncParamCount; ++i)
    if (static_cast<std::size_t>(kTncParams[i].id) != i) return false;
  return true;
}
static_assert(RowsInEnumOrder(), "kTncParams must list the parameters in the order of ETncParam");

}  // namespace

const STncParam* FindTncParam(std::string_view word) {
  for (const STncParam& p : kTncParams)
    if (word.size() >= p.shortest && word.size() <= p.name.size() && p.name.substr(0, word.size()) == word) return &p;
  return nullptr;
}

std::string TncValueText(ETncParam id, int value) {
  if (TncParam(id).isSwitch) return value ? "ON" : "OFF";
  return std::to_string(value);
}

std::optional<int> ParseTncValue(ETncParam id, std::string_view text) {
  const STncParam& p = TncParam(id);
  if (p.isSwitch) {
    if (text == "ON" || text == "YES") return 1;
    if (text == "OFF" || text == "NO") return 0;
    return std::nullopt;
  }
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  if (value < p.min || value > p.max) return std::nullopt;
  return value;
}

CTncParams::CTncParams() {
  for (const STncParam& p : kTncParams) Set(p.id, p.initial);
}

}  // namespace nami
