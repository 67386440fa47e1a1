// The download capture: received lines appended to a text file.
//
// Opening appends to an existing file or creates a new one. Retro-download
// first writes the stored lines from the history pane's line cursor to the
// newest line. After that the receive tick hands each completed line to
// OnLine (CR LF, flushed at once) while the capture is on; the unfinished
// line is never written. The capture is on while its file is open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/NamiDoc.h"
#include "files/TextFile.h"

namespace nami {

class CCapture {
 public:
  explicit CCapture(CNamiDoc& doc) : doc_(doc) {}
  CCapture(const CCapture&) = delete;
  CCapture& operator=(const CCapture&) = delete;

  // Opens the capture file for appending, creating it when missing;
  // "Cannot Open File" and false when neither works.
  bool OpenCaptureFile(const std::string& path);
  // As OpenCaptureFile, then writes the stored lines from `firstLine` to the
  // newest (nothing when `firstLine` is at or past the line count). When a
  // write fails: "Cannot Write File", the file is closed, false.
  bool OpenCaptureFileFromCursor(const std::string& path, std::int64_t firstLine);
  // Closes the capture file; "Cannot Close File" when the last data could
  // not be written.
  void CloseCaptureFile();

  bool Capturing() const { return file_.IsOpen(); }
  // Why the capture file last did not open.
  const FileFault& Fault() const { return file_.Fault(); }
  // A completed line: appended while the capture is on. On failure "Cannot
  // Write File" is shown once until a write succeeds again (the capture
  // stays on and the next line is tried again). Returns whether the line
  // was written.
  bool OnLine(std::string_view line);

 private:
  CNamiDoc& doc_;
  CTextFile file_;
  bool writeFailed_ = false;  // the user has been told of a failed write
};

}  // namespace nami
