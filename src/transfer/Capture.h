// The download capture: received lines appended to a text file.
//
// Opening appends to an existing file or creates a new one. Retro-download
// first writes the stored lines from the history pane's line cursor to the
// newest line. After that the receive tick writes each completed line
// through CNamiDoc::WriteCapturedLine (CR LF, flushed at once) while the
// capture flag is set; the unfinished line is never written.
#pragma once

#include <cstdint>
#include <string>

#include "terminal/NamiDoc.h"

namespace nami {

class CCapture {
 public:
  explicit CCapture(CNamiDoc& doc) : doc_(doc) {}

  // Opens the document's capture file for appending, creating it when
  // missing; "Cannot Open File" and false when neither works.
  bool OpenCaptureFile(const std::string& path);
  // As OpenCaptureFile, then writes the stored lines from `firstLine` to the
  // newest (nothing when `firstLine` is at or past the line count). When a
  // write fails: "Cannot Write File", the file is closed, false.
  bool OpenCaptureFileFromCursor(const std::string& path, std::int64_t firstLine);
  // Closes the capture file; "Cannot Close File" when the last data could
  // not be written.
  void CloseCaptureFile();

 private:
  CNamiDoc& doc_;
};

}  // namespace nami
