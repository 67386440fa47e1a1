#include "settings/DialogValues.h"

#include <algorithm>

#include "text/Messages.h"

namespace nami {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view entry, std::string_view text) {
  if (text.size() > entry.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (LowerAscii(entry[i]) != LowerAscii(text[i])) return false;
  }
  return true;
}

// The dialogs read the profile with their own buffer sizes.
constexpr int kComBuf = 32;
constexpr int kStationBuf = kStationLimit + 1;
constexpr int kMailBuf = 129;

const KeySpec kFieldKeys[5] = {keys::Field[0], keys::Field[1], keys::Field[2], keys::Field[3], keys::Field[4]};

}  // namespace

int FindListEntry(const std::vector<std::string>& entries, std::string_view text) {
  if (text.empty()) return -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (StartsWithNoCase(entries[i], text)) return static_cast<int>(i);
  }
  return -1;
}

std::string ListShownText(const std::vector<std::string>& entries, std::string_view text) {
  int i = FindListEntry(entries, text);
  return i >= 0 ? entries[static_cast<std::size_t>(i)] : std::string(text);
}

std::optional<LengthFault> FirstTooLong(const std::vector<std::string>& values, const std::vector<int>& limits,
                                        const std::vector<int>& order) {
  for (int field : order) {
    int limit = limits[static_cast<std::size_t>(field)];
    if (limit > 0 && values[static_cast<std::size_t>(field)].size() > static_cast<std::size_t>(limit)) {
      return LengthFault{field, limit};
    }
  }
  return std::nullopt;
}

std::string LengthMessage(int limit) { return msg::Format(msg::LengthLimit, {{"limit", std::to_string(limit)}}); }

// ---- Port settings ----

const std::vector<std::string>& ComPortEntries(ComField field) {
  static const std::vector<std::string> lists[kComFieldCount] = {
      {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"},
      {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
                                                                 {"N", "E", "O"},
                                                                 {"8", "7"},
                                                                 {"1", "2", "3"},
                                                                 {"X", "H", "N"},
                                                                 {"enable", "disable"},
                                                                 {"no", "yes"}};
  return lists[field];
}

int ComPortLimit(ComField field) {
  static const int limits[kComFieldCount] = {4, 6, 1, 1, 1, 1, 10, 10};
  return limits[field];
}

void SplitComStatus(std::string_view comstatus, ComPortValues& values) {
  for (int i = kComPort; i <= kComFlow; ++i) values[static_cast<std::size_t>(i)].clear();
  std::size_t colon = comstatus.find(':');
  values[kComPort] = std::string(comstatus.substr(0, colon));
  if (colon == std::string_view::npos) return;
  std::string_view rest = comstatus.substr(colon + 1);
  for (int i = kComSpeed; i <= kComFlow; ++i) {
    std::size_t comma = rest.find(',');
    values[static_cast<std::size_t>(i)] = std::string(rest.substr(0, comma));
    if (comma == std::string_view::npos) return;
    rest = rest.substr(comma + 1);
  }
}

std::string BuildComStatus(const ComPortValues& v) {
  return v[kComPort] + ":" + v[kComSpeed] + "," + v[kComParity] + "," + v[kComDataBits] + "," + v[kComStopBits] + "," +
         v[kComFlow];
}

ComPortValues LoadComPortValues(CSettings& settings) {
  ComPortValues values;
  std::string comstatus = settings.RawCut(keys::ComStatus, kComBuf);
  if (comstatus.empty()) {
    // The default is stored at once, so the profile holds it even when the
    // dialog is cancelled.
    settings.Set(keys::ComStatus, keys::ComStatus.fallback);
    comstatus = settings.RawCut(keys::ComStatus, kComBuf);
  }
  SplitComStatus(comstatus, values);
  values[kComEcho] = settings.RawCut(keys::Echo, kComBuf) == "enable" ? "enable" : "disable";
  values[kComSerial] = settings.RawCut(keys::Serial, kComBuf) == "yes" ? "yes" : "no";
  return values;
}

ComPortValues ComPortShown(const ComPortValues& values) {
  ComPortValues shown;
  for (int i = 0; i < kComFieldCount; ++i) {
    shown[static_cast<std::size_t>(i)] =
        ListShownText(ComPortEntries(static_cast<ComField>(i)), values[static_cast<std::size_t>(i)]);
  }
  return shown;
}

std::optional<LengthFault> CheckComPortValues(const ComPortValues& values) {
  std::vector<int> limits;
  for (int i = 0; i < kComFieldCount; ++i) limits.push_back(ComPortLimit(static_cast<ComField>(i)));
  static const std::vector<int> order = {kComPort,   kComSpeed,    kComFlow, kComStopBits,
                                         kComParity, kComDataBits, kComEcho, kComSerial};
  return FirstTooLong(std::vector<std::string>(values.begin(), values.end()), limits, order);
}

void SaveComPortValues(CSettings& settings, const ComPortValues& values) {
  settings.Set(keys::ComStatus, BuildComStatus(values));
  settings.Set(keys::Echo, values[kComEcho]);
  settings.Set(keys::Serial, values[kComSerial]);
}

void SaveDeviceEdits(CSettings& settings, const std::map<std::string, std::string>& edits) {
  for (const auto& [name, path] : edits) {
    if (name.empty()) continue;
    if (settings.DevicePath(name) != path) settings.SetDevicePath(name, path);
  }
}

// ---- Station settings ----

const std::array<const KeySpec*, kStationFieldCount>& StationKeys() {
  static const std::array<const KeySpec*, kStationFieldCount> list = {
      &keys::Call,     &keys::Min,      &keys::Prompt,      &keys::Password,    &keys::ReadCom,    &keys::Event[0],
      &keys::Event[1], &keys::Event[2], &keys::Response[0], &keys::Response[1], &keys::Response[2]};
  return list;
}

StationValues LoadStationValues(const CSettings& settings) {
  StationValues values;
  const auto& list = StationKeys();
  for (std::size_t i = 0; i < list.size(); ++i) values[i] = settings.RawCut(*list[i], kStationBuf);
  if (values[0].empty()) values[0] = "QZ1ABC";
  if (values[2].empty()) values[2] = ">";
  if (values[4].empty()) values[4] = "R";
  return values;
}

void SaveStationValues(CSettings& settings, const StationValues& values) {
  const auto& list = StationKeys();
  for (std::size_t i = 0; i < list.size(); ++i) settings.Set(*list[i], values[i]);
}

// ---- Field settings ----

const std::vector<std::string>& FieldEntries() {
  static const std::vector<std::string> list = {"L> ", "L<", "LL", "LM", "LC", "L #", "L # #"};
  return list;
}

const std::vector<std::string>& LimitModelEntries() {
  static const std::vector<std::string> list = {"L # #", "L #-#", "L #,#"};
  return list;
}

FieldValues LoadFieldValues(const CSettings& settings) {
  FieldValues values;
  for (std::size_t i = 0; i < values.fields.size(); ++i) values.fields[i] = settings.RawCut(kFieldKeys[i], kMailBuf);
  values.limitMode = settings.RawCut(keys::LimitMode, kMailBuf) == "TRUE";
  values.limitLength = settings.RawCut(keys::LimitLength, kMailBuf);
  values.limitModel = settings.RawCut(keys::LimitModel, kMailBuf);
  return values;
}

std::optional<LengthFault> CheckFieldValues(const FieldValues& values) {
  std::vector<std::string> list(values.fields.begin(), values.fields.end());
  list.push_back(values.limitModel);
  std::vector<int> limits(list.size(), kFieldLimit);
  return FirstTooLong(list, limits, {0, 1, 2, 3, 4, 5});
}

void SaveFieldValues(CSettings& settings, const FieldValues& values) {
  for (std::size_t i = 0; i < values.fields.size(); ++i) settings.Set(kFieldKeys[i], values.fields[i]);
  settings.Set(keys::LimitMode, values.limitMode ? "TRUE" : "FALSE");
  settings.Set(keys::LimitLength, values.limitLength);
  settings.Set(keys::LimitModel, values.limitModel);
}

// ---- Last mail number ----

std::string LoadLastMailNo(const CSettings& settings) {
  std::string v = settings.RawCut(keys::LastMailNo, kMailBuf);
  return v.empty() ? "10" : v;
}

void SaveLastMailNo(CSettings& settings, std::string_view value) { settings.Set(keys::LastMailNo, value); }

// ---- Send-mail selection ----

SendMailValues LoadSendMailValues(const CSettings& settings) {
  SendMailValues values;
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = settings.RawCut(keys::Send[i], keys::SendDialogBufSize);
  return values;
}

void SaveSendMailValues(CSettings& settings, const SendMailValues& values) {
  for (std::size_t i = 0; i < values.size(); ++i) settings.Set(keys::Send[i], values[i]);
}

std::string SendMailBrowseTitle(int row) {
  static const char* const digits[5] = {"１", "２", "３", "４", "５"};
  if (row < 1 || row > 5) return msg::SendMailBrowse;
  return msg::Format(msg::SendMailBrowseRow, {{"row", digits[row - 1]}});
}

// ---- File names ----

FileNameValues LoadFileNameValues(const CSettings& settings) {
  FileNameValues values;
  values.mailFile = settings.RawCut(keys::MailFile, kMailBuf);
  values.listFile = settings.RawCut(keys::ListFile, kMailBuf);
  if (values.mailFile.empty()) values.mailFile = "tempmail.dat";
  if (values.listFile.empty()) values.listFile = "templist.dat";
  return values;
}

void SaveFileNameValues(CSettings& settings, const FileNameValues& values) {
  settings.Set(keys::ListFile, values.listFile);
  settings.Set(keys::MailFile, values.mailFile);
}

// ---- Editor setting ----

std::string LoadEditorSetting(const CSettings& settings) { return settings.RawCut(keys::Editor, kEditorLimit + 1); }

void SaveEditorSetting(CSettings& settings, std::string_view value) { settings.Set(keys::Editor, value); }

}  // namespace nami
