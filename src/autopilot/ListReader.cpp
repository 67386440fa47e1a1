#include "autopilot/ListReader.h"

#include <cstdint>

#include "autopilot/StepTexts.h"
#include "text/Cp932.h"

namespace nami {
namespace {

// Leading digits after optional white space and an optional "+"; a text
// without digits (or a negative one) counts as 0. Saturates.
std::uint64_t UnsignedValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::string ListUpperBound(std::string_view d, std::string_view limitLength) {
  const std::uint64_t a = UnsignedValue(d);
  const std::uint64_t b = UnsignedValue(limitLength);
  return std::to_string(a > UINT64_MAX - b ? UINT64_MAX : a + b);
}

std::string ExpandListTemplate(std::string_view tpl, std::string_view d, std::string_view g) {
  const std::size_t first = tpl.find('#');
  if (first == std::string_view::npos) return std::string(tpl);
  std::string out(tpl.substr(0, first));
  out += d;
  if (tpl.find('#', first + 1) == std::string_view::npos) return out;
  if (first + 1 < tpl.size()) out += tpl[first + 1];
  out += g;
  return out;
}

std::string BuildLimitCommand(std::string_view limitModel, std::string_view d, std::string_view g) {
  if (limitModel.empty()) return "L " + std::string(d) + " " + std::string(g);
  if (limitModel.find('#') == std::string_view::npos) return {};
  return ExpandListTemplate(limitModel, d, g);
}

StepEvent CListReader::StartListReading() {
  CSettings& s = doc_.Settings();
  run_.ArmWait();

  const std::string listFile = s.ListFilePath();
  const std::string waitText = WaitTextFrom(s);
  const std::string d = s.Raw(keys::LastMailNo);
  const std::string a = d.empty() ? std::string("10") : d;
  const std::string g = ListUpperBound(d, s.Raw(keys::LimitLength));
  LimitCommand = BuildLimitCommand(s.Raw(keys::LimitModel), d, g);

  ListCommands.clear();
  for (std::size_t n = 0; n < 4; ++n) {
    const std::string field = s.Raw(keys::Field[n]);
    if (!field.empty()) ListCommands.push_back(ExpandListTemplate(field, d, g));
  }
  // The fifth field uses A instead of D, keeps what follows the "#", and
  // stands for the limit command when it is the plain range template.
  const std::string fld5 = s.Raw(keys::Field[4]);
  if (!fld5.empty()) {
    if (fld5 == "L # #") {
      ListCommands.push_back(LimitCommand);
    } else if (std::size_t hash = fld5.find('#'); hash != std::string::npos) {
      ListCommands.push_back(fld5.substr(0, hash) + a + fld5.substr(hash + 1));
    } else {
      ListCommands.push_back(fld5);
    }
  }
  ListCommandCursor = 0;

  if (!run_.LogFile.Open(listFile, CTextFile::Mode::Truncate)) {
    doc_.Ui().ShowMessage(
        msg::Format(msg::CannotOpenFileBecause, {{"file", listFile}, {"reason", FileFaultText(run_.LogFile.Fault())}}));
    return StepEvent::LogNotOpened;
  }

  run_.ArmWait(waitText);
  run_.ListReading = true;

  if (s.Raw(keys::LimitMode) == "TRUE") {
    doc_.SendOwn(LimitCommand + "\r");
  } else if (ListCommandCursor < ListCommands.size()) {
    doc_.SendOwn(ListCommands[ListCommandCursor++] + "\r");
  } else {
    return StepEvent::NothingSent;
  }
  return StepEvent::CommandSent;
}

StepEvent CListReader::SendNextListCommand() {
  run_.ArmWait();
  if (doc_.Settings().Raw(keys::LimitMode) == "TRUE") return StepEvent::Complete;
  if (ListCommandCursor >= ListCommands.size()) return StepEvent::Complete;
  doc_.SendOwn(ListCommands[ListCommandCursor++] + "\r");
  run_.ArmWait();
  return StepEvent::CommandSent;
}

void CListReader::Finish() {
  run_.LogFile.Close();
  run_.ListReading = false;
  run_.AutoIdle = true;
}

}  // namespace nami
