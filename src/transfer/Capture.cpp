#include "transfer/Capture.h"

#include <algorithm>

#include "text/Cp932.h"

namespace nami {

bool CCapture::OpenCaptureFile(const std::string& path) {
  if (!doc_.CaptureFile.Open(path, CTextFile::Mode::Append)) {
    doc_.Ui().ShowMessage(msg::WithCause(msg::CannotOpenFile, path, doc_.CaptureFile.Error()));
    return false;
  }
  doc_.CaptureWriteFailed = false;
  return true;
}

bool CCapture::OpenCaptureFileFromCursor(const std::string& path, std::int64_t firstLine) {
  if (!OpenCaptureFile(path)) return false;
  const auto count = static_cast<std::int64_t>(doc_.LineCount());
  for (std::int64_t i = std::max<std::int64_t>(firstLine, 0); i < count; ++i) {
    if (!doc_.CaptureFile.WriteLine(doc_.LineAt(static_cast<std::size_t>(i)))) {
      doc_.Ui().ShowMessage(msg::CannotWriteFile);
      doc_.CaptureFile.Close();
      return false;
    }
  }
  return true;
}

void CCapture::CloseCaptureFile() {
  if (!doc_.CaptureFile.IsOpen()) return;
  if (!doc_.CaptureFile.Close()) doc_.Ui().ShowMessage(msg::CannotCloseFile);
}

}  // namespace nami
