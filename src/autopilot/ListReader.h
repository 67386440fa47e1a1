// The bulletin list step: builds the list commands from the field settings,
// sends them one per confirmed prompt and has the receive tick copy every
// completed line into the list log (emptied at each start).
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

#include "autopilot/RunState.h"
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
  CListReader(CNamiDoc& doc, CRunState& run) : doc_(doc), run_(run) {}

  // Builds the commands, empties the list log and sends the first command:
  // CommandSent, NothingSent (no command), or LogNotOpened when the list log
  // cannot be created (the user has been told, nothing was sent).
  StepEvent StartListReading();
  // The wait's next action: CommandSent, or Complete when none is left.
  StepEvent SendNextListCommand();
  // The step's end, normal or aborted: the log is closed and no longer fed.
  void Finish();

  std::vector<std::string> ListCommands;
  std::size_t ListCommandCursor = 0;
  std::string LimitCommand;

 private:
  CNamiDoc& doc_;
  CRunState& run_;
};

}  // namespace nami
