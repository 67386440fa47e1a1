// The parameters of nami's built-in TNC2, one row each: the command's name,
// its shortest abbreviation, its range and its value after switching on.
// The TNC2 engine (link/Tnc2Engine.h) interprets the parameter commands from
// this table; the far sides (link/FarSide.h) get the values by ETncParam,
// already within range. MYCALL is a callsign, not a row: it has a command
// and a far-side call of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nami {

// In alphabetical order of the commands, the order in which the engine hands
// them to a far side.
enum class ETncParam : std::uint8_t {
  AutoLf,
  ConOk,
  DWait,
  Echo,
  Frack,
  FullDup,
  MaxFrame,
  Monitor,
  PacLen,
  Persist,
  RespTime,
  Retry,
  SlotTime,
  TxDelay,
};

struct STncParam {
  ETncParam id;
  std::string_view name;  // the command, upper case
  std::size_t shortest;   // letters of the shortest abbreviation taken
  bool isSwitch;          // ON/OFF (YES/NO), kept as 1/0
  int min;
  int max;
  int initial;   // after switching on
  bool farSide;  // handed to the far side (ECHO and AUTOLF stay in the engine)
};

// The rows in the order of ETncParam.
inline constexpr STncParam kTncParams[] = {
    {ETncParam::AutoLf, "AUTOLF", 2, true, 0, 1, 1, false},
    {ETncParam::ConOk, "CONOK", 4, true, 0, 1, 0, true},
    {ETncParam::DWait, "DWAIT", 2, false, 0, 255, 0, true},
    {ETncParam::Echo, "ECHO", 1, true, 0, 1, 1, false},
    {ETncParam::Frack, "FRACK", 2, false, 1, 15, 3, true},
    {ETncParam::FullDup, "FULLDUP", 4, true, 0, 1, 0, true},
    {ETncParam::MaxFrame, "MAXFRAME", 4, false, 1, 7, 4, true},
    {ETncParam::Monitor, "MONITOR", 1, true, 0, 1, 0, true},
    {ETncParam::PacLen, "PACLEN", 4, false, 1, 256, 128, true},
    {ETncParam::Persist, "PERSIST", 2, false, 0, 255, 63, true},
    {ETncParam::RespTime, "RESPTIME", 3, false, 0, 250, 5, true},
    {ETncParam::Retry, "RETRY", 2, false, 0, 15, 10, true},
    {ETncParam::SlotTime, "SLOTTIME", 2, false, 0, 255, 10, true},
    {ETncParam::TxDelay, "TXDELAY", 3, false, 0, 120, 30, true},
};
inline constexpr std::size_t kTncParamCount = std::size(kTncParams);

constexpr const STncParam& TncParam(ETncParam id) { return kTncParams[static_cast<std::size_t>(id)]; }

// The row whose command `word` (upper case) is or abbreviates; nullptr when
// none.
const STncParam* FindTncParam(std::string_view word);
// The value as the command shows it: "ON"/"OFF" for a switch, the decimal
// number otherwise.
std::string TncValueText(ETncParam id, int value);
// The value `text` (upper case) gives `id`: ON/YES or OFF/NO for a switch,
// a decimal number within the range otherwise; nullopt for anything else.
std::optional<int> ParseTncValue(ETncParam id, std::string_view text);

// One value for every parameter, each at its initial value to begin with.
class CTncParams {
 public:
  CTncParams();
  int Get(ETncParam id) const { return values_[static_cast<std::size_t>(id)]; }
  bool On(ETncParam id) const { return Get(id) != 0; }
  void Set(ETncParam id, int value) { values_[static_cast<std::size_t>(id)] = value; }

 private:
  std::array<int, kTncParamCount> values_{};
};

}  // namespace nami
