#include "transfer/Capture.h"

#include <algorithm>

#include "text/Cp932.h"

namespace nami {

bool CCapture::OpenCaptureFile(const std::string& path) {
  if (!file_.Open(path, CTextFile::Mode::Append)) {
    doc_.Ui().ShowMessage(
        msg::Format(msg::CannotOpenFileBecause, {{"file", path}, {"reason", FileFaultText(file_.Fault())}}));
    return false;
  }
  writeFailed_ = false;
  return true;
}

bool CCapture::OpenCaptureFileFromCursor(const std::string& path, std::int64_t firstLine) {
  if (!OpenCaptureFile(path)) return false;
  const auto count = static_cast<std::int64_t>(doc_.Lines().LineCount());
  for (std::int64_t i = std::max<std::int64_t>(firstLine, 0); i < count; ++i) {
    if (!file_.WriteLine(doc_.Lines().LineAt(static_cast<std::size_t>(i)))) {
      doc_.Ui().ShowMessage(msg::CannotWriteFile);
      file_.Close();
      return false;
    }
  }
  return true;
}

void CCapture::CloseCaptureFile() {
  if (!file_.IsOpen()) return;
  if (!file_.Close()) doc_.Ui().ShowMessage(msg::CannotCloseFile);
}

bool CCapture::OnLine(std::string_view line) {
  if (!file_.IsOpen()) return false;
  if (file_.WriteLine(line)) {
    writeFailed_ = false;
    return true;
  }
  if (!writeFailed_) doc_.Ui().ShowMessage(msg::CannotWriteFile);
  writeFailed_ = true;
  return false;
}

}  // namespace nami
