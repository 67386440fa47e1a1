// The bulletin list step: builds the list commands from the field settings,
// sends them one per confirmed prompt; the autopilot has the receive tick
// copy every completed line into the list log (emptied at each start).
// It reads the run state and returns events; the autopilot acts on them.
//
// Field mode sends one command per non-empty "fld1".."fld5"; limit mode
// ("limitmode" = "TRUE") sends the single command built from "limitmodel".
// In a template "#" stands for mail numbers: D is "LastMailNo" as stored,
// G the sum of D and "limitlength" as plain decimal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/StepMachine.h"
#include "terminal/NamiDoc.h"

namespace nami {

// Expands a field template: no "#" -> unchanged; one "#" -> the text before
// it, then D; two or more -> the text before the first, D, the one byte that
// follows the first "#", then G (the rest is dropped).
std::string ExpandListTemplate(std::string_view tpl, std::string_view d, std::string_view g);
// The upper bound G: unsigned leading numbers of D and "limitlength" added.
std::string ListUpperBound(std::string_view d, std::string_view limitLength);
// The limit-mode command from "limitmodel".
std::string BuildLimitCommand(std::string_view limitModel, std::string_view d, std::string_view g);

class CListReader {
 public:
  explicit CListReader(CNamiDoc& doc) : doc_(doc) {}

  // Builds the commands; the list log's path, for the autopilot to open.
  std::string Prepare();
  // Once the log is open: sends the first command, CommandSent, or
  // NothingSent when there is none.
  StepEvent SendFirstCommand();
  // The wait's next action: CommandSent, or Complete when none is left.
  StepEvent SendNextListCommand();

  std::vector<std::string> ListCommands;
  std::size_t ListCommandCursor = 0;
  std::string LimitCommand;

 private:
  CNamiDoc& doc_;
};

}  // namespace nami
