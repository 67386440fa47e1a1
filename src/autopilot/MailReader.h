// The mail reading step: works through the list log from the bottom up and
// sends the read command for every listed mail numbered above the last one
// read (in limit mode only for lines that contain one of the category
// patterns). Everything received meanwhile goes to the mail log, which is
// only ever appended to. When the whole list has been worked through, the
// highest number listed becomes the new "LastMailNo".
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "terminal/NamiDoc.h"

namespace nami {

class CMailReader {
 public:
  static constexpr std::size_t kPieceSize = 95;  // a longer list line is read in pieces

  explicit CMailReader(CNamiDoc& doc) : doc_(doc) {}

  // Loads the list, opens the mail log and examines the bottom line. False
  // when the mail log cannot be opened: the user has been told, nothing was
  // sent and the step must end at once.
  bool StartMailReading();
  // The wait's next action: true while the step goes on; at the end of the
  // list "LastMailNo" is written and false is returned.
  bool ReadNextMail();
  // The step's end, normal or aborted: the mail log is closed and no longer fed.
  void Finish();

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
  // station's own call ("mycall" in the list line's "To" column).
  int ReadsPlanned = 0;
  int ReadsSent = 0;
  int ReadsForOwnCall = 0;

 private:
  void LoadListLines(const std::string& path);
  void ExamineNextLine();
  bool Qualifies(const std::string& line, long long number) const;

  CNamiDoc& doc_;
  bool limit_ = false;
  std::string readCommand_;
};

}  // namespace nami
