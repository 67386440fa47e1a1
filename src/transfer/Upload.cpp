#include "transfer/Upload.h"

#include "files/UserFile.h"
#include "text/Cp932.h"

namespace nami {

CUpload::~CUpload() {
  if (file_) std::fclose(file_);
}

bool CUpload::Open(const std::string& path) {
  if (file_) Close();
  failure_.clear();
  openFault_ = FileFault{};
  file_ = OpenUserStream(path, UserFileMode::Read, openFault_);
  if (!file_) {
    doc_.Ui().ShowMessage(
        msg::Format(msg::FileNotFoundBecause, {{"file", path}, {"reason", FileFaultText(openFault_)}}));
    return false;
  }
  length_ = 0;
  position_ = 0;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    long end = std::ftell(file_);
    if (end > 0) length_ = end;
  }
  std::rewind(file_);
  return true;
}

void CUpload::Close() {
  if (!file_) return;
  bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok) doc_.Ui().ShowMessage(msg::CannotCloseFile);
}

void CUpload::Abandon(const std::string& reason) {
  if (!file_) return;
  Close();
  failure_ = reason;
}

bool CUpload::Step() {
  if (!file_) return false;
  if (doc_.Sending().QueueCount() == 0) {
    int c = std::fgetc(file_);
    if (c != EOF) {
      ++position_;
      if (c == '\r') {
        // Text mode: CR LF reads as one LF.
        int next = std::fgetc(file_);
        if (next == '\n') {
          ++position_;
          c = '\n';
        } else if (next != EOF) {
          std::ungetc(next, file_);
        }
      }
      const char byte = c == '\n' ? '\r' : static_cast<char>(c);
      // Nothing can go out while the port is closed: the upload ends.
      if (doc_.SendText(std::string_view(&byte, 1)) == 0) {
        Abandon("the port is not open: " + doc_.PortFailure());
        return false;
      }
    }
  }
  // Ends as soon as nothing more can be read: at the end of the file, and
  // also on a read error, which would otherwise leave the upload hanging.
  int next = std::fgetc(file_);
  if (next == EOF) {
    bool failed = std::ferror(file_) != 0;
    Close();
    if (failed) {
      failure_ = "the file could not be read to its end";
      doc_.Ui().ShowMessage(msg::CannotReadFile);  // the file was not sent whole
    }
    return false;
  }
  std::ungetc(next, file_);
  return true;
}

}  // namespace nami
