// What the settings dialogs show and write, without any widget.
//
// Each dialog has a "values" record (CP932 bytes, as the settings file holds
// them), a Load function that reads the profile and applies the defaults the
// dialog shows, a length check that names the first field too long for its
// limit, and a Save function that writes every key in the dialog's fixed
// order. The Qt dialogs only move these values in and out of their widgets.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/Settings.h"

namespace nami {

// ---- Shared rules of the editable drop-down lists ----

// Index of the first entry that begins with `text`, ASCII letter case
// ignored; -1 when `text` is empty or no entry matches.
int FindListEntry(const std::vector<std::string>& entries, std::string_view text);
// What the list shows for a stored value: the matching entry, else the value.
std::string ListShownText(const std::vector<std::string>& entries, std::string_view text);

// A field longer than its limit: which one (index into the dialog's fields)
// and the limit to put into the message.
struct LengthFault {
  int field;
  int limit;
};
// Checks `values[order[i]]` against `limits[order[i]]` in the given order;
// a limit of 0 means none. Lengths are counted in CP932 bytes.
std::optional<LengthFault> FirstTooLong(const std::vector<std::string>& values, const std::vector<int>& limits,
                                        const std::vector<int>& order);
// "%1 文字以内で入力してください。" with the limit put in (UTF-8).
std::string LengthMessage(int limit);

// ---- Port settings ----

enum ComField { kComPort, kComSpeed, kComParity, kComDataBits, kComStopBits, kComFlow, kComEcho, kComSerial };
inline constexpr int kComFieldCount = 8;
using ComPortValues = std::array<std::string, kComFieldCount>;

const std::vector<std::string>& ComPortEntries(ComField field);
int ComPortLimit(ComField field);
// Splits "PORT:speed,parity,data,stop,flow" into the first six fields.
void SplitComStatus(std::string_view comstatus, ComPortValues& values);
std::string BuildComStatus(const ComPortValues& values);
// Reads "comstatus" (writing its default at once when empty), "echo" and
// "serial"; echo shows "enable" only for exactly "enable", serial "yes" only
// for exactly "yes".
ComPortValues LoadComPortValues(CSettings& settings);
// The values as the lists show them (a stored "n" shows as the entry "N").
ComPortValues ComPortShown(const ComPortValues& values);
std::optional<LengthFault> CheckComPortValues(const ComPortValues& values);
// Writes "comstatus", "echo", "serial" in this order.
void SaveComPortValues(CSettings& settings, const ComPortValues& values);

// Device paths edited in the port dialog, by port name. Writes those that
// differ from what the port name maps to now (section "Devices").
void SaveDeviceEdits(CSettings& settings, const std::map<std::string, std::string>& edits);

// ---- Station settings ----

inline constexpr int kStationFieldCount = 11;
inline constexpr int kStationLimit = 80;
// The keys in the order the dialog writes them.
const std::array<const KeySpec*, kStationFieldCount>& StationKeys();
using StationValues = std::array<std::string, kStationFieldCount>;
// "call", "prompt" and "readcom" show "QZ1ABC", ">" and "R" when empty.
StationValues LoadStationValues(const CSettings& settings);
void SaveStationValues(CSettings& settings, const StationValues& values);

// ---- Auto mode ----

struct AutoModeValues {
  bool list = true;
  bool read = true;
  bool send = true;
};

// ---- Field settings ----

struct FieldValues {
  std::array<std::string, 5> fields;  // "fld1" .. "fld5"
  std::string limitLength;            // "limitlength"
  bool limitMode = false;             // "limitmode" == "TRUE" exactly
  std::string limitModel;             // "limitmodel"
};
inline constexpr int kFieldLimit = 80;
inline constexpr int kLimitLengthLimit = 60;
const std::vector<std::string>& FieldEntries();
const std::vector<std::string>& LimitModelEntries();
FieldValues LoadFieldValues(const CSettings& settings);
// Field index 0..4 = fld1..fld5, 5 = limitmodel.
std::optional<LengthFault> CheckFieldValues(const FieldValues& values);
// Writes fld1..fld5, limitmode ("TRUE"/"FALSE"), limitlength, limitmodel.
void SaveFieldValues(CSettings& settings, const FieldValues& values);

// ---- Last mail number ----

inline constexpr int kLastMailNoLimit = 80;
std::string LoadLastMailNo(const CSettings& settings);  // "10" when empty
void SaveLastMailNo(CSettings& settings, std::string_view value);

// ---- Send-mail selection ----

using SendMailValues = std::array<std::string, 5>;
inline constexpr int kSendMailLimit = 128;  // rows 1 to 4; row 5 has none
SendMailValues LoadSendMailValues(const CSettings& settings);
void SaveSendMailValues(CSettings& settings, const SendMailValues& values);
// "送信ﾒｰﾙ選択" and the full-width digit of row 1..5 (UTF-8).
std::string SendMailBrowseTitle(int row);

// ---- File names ----

struct FileNameValues {
  std::string mailFile;  // "tempmail.dat" when empty
  std::string listFile;  // "templist.dat" when empty
};
inline constexpr int kFileNameLimit = 128;
FileNameValues LoadFileNameValues(const CSettings& settings);
// Writes "ListFile" first, then "MailFile".
void SaveFileNameValues(CSettings& settings, const FileNameValues& values);

// ---- Editor setting ----

inline constexpr int kEditorLimit = 128;
std::string LoadEditorSetting(const CSettings& settings);  // as stored, may be empty
void SaveEditorSetting(CSettings& settings, std::string_view value);

}  // namespace nami
