// The upload: a text file sent to the link byte by byte as if typed.
//
// The file is read in text mode: a CR LF pair arrives as one LF, and every
// LF goes to the link as CR (a lone CR stays a CR). One byte leaves per
// step, and only when the port's transmit queue is empty. The upload is a
// sender on the document's send engine; it ends by itself at the end of the
// file, or when it is closed. It runs while its file is open. An upload that
// ended before its whole file went out (the port not open or lost, a read
// error) keeps the reason until the next Open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "terminal/NamiDoc.h"
#include "text/FileFault.h"

namespace nami {

class CUpload final : public ISender {
 public:
  explicit CUpload(CNamiDoc& doc) : doc_(doc) {}
  ~CUpload() override;
  CUpload(const CUpload&) = delete;
  CUpload& operator=(const CUpload&) = delete;

  // Opens the file and measures its length; shows "ファイルが見つかりません"
  // and returns false when it cannot be opened.
  bool Open(const std::string& path);
  // Sends at most one byte; false once nothing remains to be sent (or the
  // file was closed). At the end the file is closed.
  bool Step() override;
  // Closes the file; "Cannot Close File" when that fails.
  void Close();
  // Closes the file, keeping `reason` (UTF-8) as why the upload did not end
  // at the end of its file.
  void Abandon(const std::string& reason);

  // Why the last Open failed.
  const FileFault& OpenFault() const { return openFault_; }
  // Why the last upload ended before the end of its file; empty when it was
  // sent whole, was stopped, or still runs.
  const std::string& Failure() const { return failure_; }

  bool Uploading() const { return file_ != nullptr; }
  std::int64_t Length() const { return length_; }
  // Bytes of the file consumed so far.
  std::int64_t Position() const { return position_; }

 private:
  CNamiDoc& doc_;
  std::FILE* file_ = nullptr;
  std::int64_t length_ = 0;
  std::int64_t position_ = 0;
  FileFault openFault_;
  std::string failure_;
};

}  // namespace nami
