// The mail reading step: works through the list log from the bottom up and
// sends the read command for every listed mail numbered above the last one
// read (in limit mode only for lines that contain one of the category
// patterns). Everything received meanwhile goes to the mail log, which is
// only ever appended to. When the whole list has been worked through, the
// highest number listed becomes the new "LastMailNo".
//
// A message whose lines could not all be written to the mail log (a full
// disk) ends the step: "LastMailNo" then moves only to the highest listed
// number below every message that is not wholly in the log, so the next run
// reads that message and everything after it again.
//
// After the new mail, the step reads the numbers the user marked in the
// mailbox (MarkedSource), oldest first, leaving "LastMailNo" as the list
// set it. Each marked number is told to MarkedDone once its answer is in:
// read, or gone from the BBS (its answer is only the BBS's "not found"
// line), which the activity reports.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "autopilot/RunState.h"
#include "autopilot/StepMachine.h"
#include "terminal/NamiDoc.h"

namespace nami {

class CMailReader {
 public:
  static constexpr std::size_t kPieceSize = 95;  // a longer list line is read in pieces

  CMailReader(CNamiDoc& doc, const CRunState& run) : doc_(doc), run_(run) {}

  // Loads the list and the settings; the mail log's path, for the
  // autopilot to open.
  std::string Prepare();
  // Once the log is open, examines the bottom line: CommandSent,
  // NothingAsked (a line not asked for), or NothingSent (an empty list).
  StepEvent SendFirstRead();
  // The wait's next action: CommandSent or NothingAsked while the step goes
  // on; Complete at the end of the list, once "LastMailNo" is written;
  // LogFailed when the message just read is not wholly in the mail log;
  // NotRecorded when "LastMailNo" could not be written.
  StepEvent ReadNextMail();

  // The list log, line by line (line feed kept), in pieces of at most 95 bytes.
  std::vector<std::string> ListLines;
  // The next entry to examine; counts down, -1 once the first entry is done.
  std::ptrdiff_t ListLineCursor = -1;
  std::string StartMailNo;
  std::string HighMailNo;
  // Category patterns per field; an emptied field keeps its earlier pattern.
  std::array<std::string, 5> ReadPatterns;
  // This step's reads: how many the list asks for (counted at the start),
  // how many read commands went out, and how many of those were for the
  // station's own call (MYCALL in the list line's "To" column).
  int ReadsPlanned = 0;
  int Requested = 0;
  int ReadsForOwnCall = 0;

  // The marked numbers to read after the new ones (asked at Prepare), and
  // what became of each: found = the BBS answered with the message.
  std::function<std::vector<long long>()> MarkedSource;
  std::function<void(long long number, bool found)> MarkedDone;
  // Whether a read answer is the BBS saying it has no such message: a few
  // lines at most, one of them its "not found" sentence.
  static bool SaysNotFound(std::string_view answer);

 private:
  // The next marked number not read yet in this step: CommandSent, or
  // Complete when none is left.
  StepEvent SendNextMarked();
  // The answer to the read just made is in: for a marked read, tells
  // MarkedDone; false when the BBS said it has no such message.
  bool FinishMarked();
  void LoadListLines(const std::string& path);
  // Sends the read command for the next line up: CommandSent, or
  // NothingAsked when the line does not qualify.
  StepEvent ExamineNextLine();
  bool Qualifies(const std::string& line) const;
  // After `failed` could not be logged whole: the highest listed number
  // below it and below every listed message not yet read.
  void SaveHighestLogged(long long failed);

  CNamiDoc& doc_;
  const CRunState& run_;
  bool limit_ = false;
  std::string readCommand_;
  std::vector<long long> marked_;  // still to read, in order
  std::set<long long> asked_;      // read commands sent in this step
  bool recorded_ = false;          // "LastMailNo" written after the list
  long long pendingMarked_ = -1;   // a marked number asked for, until its prompt
  long long logMark_ = 0;          // the mail log's size when it was asked for
  long long pending_ = -1;      // the message asked for, until its prompt
  std::uint64_t lostMark_ = 0;  // LogLinesLost when it was asked for
};

}  // namespace nami
