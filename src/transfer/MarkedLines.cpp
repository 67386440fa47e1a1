#include "transfer/MarkedLines.h"

#include <algorithm>
#include <cstdint>

#include "files/TextFile.h"
#include "text/Cp932.h"

namespace nami {
namespace {

// The part of the marked range that exists in the store, as [first, end).
struct Range {
  std::int64_t first;
  std::int64_t end;
};

Range StoredRange(const CNamiDoc& doc, const MarkedRange& marks) {
  const auto count = static_cast<std::int64_t>(doc.Lines().LineCount());
  const std::int64_t first = std::max<std::int64_t>(marks.first, 0);
  const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(marks.last) + 1, count);
  return {first, std::max(first, end)};
}

}  // namespace

bool CopyMarkedLinesToFile(CNamiDoc& doc, const MarkedRange& marks, const std::string& path) {
  CTextFile file;
  if (!file.Open(path, CTextFile::Mode::Append)) {
    doc.Ui().ShowMessage(
        msg::Format(msg::CannotOpenFileBecause, {{"file", path}, {"reason", FileFaultText(file.Fault())}}));
    return false;
  }
  // Written in large pieces: a whole store is 80,000 lines.
  constexpr std::size_t kChunk = 64 * 1024;
  std::string chunk;
  const Range r = StoredRange(doc, marks);
  for (std::int64_t i = r.first; i < r.end; ++i) {
    chunk += doc.Lines().LineAt(static_cast<std::size_t>(i));
    chunk += "\r\n";
    if (chunk.size() >= kChunk || i + 1 == r.end) {
      if (!file.WriteRaw(chunk)) {
        file.Close();
        doc.Ui().ShowMessage(msg::CannotWriteFile);
        return false;
      }
      chunk.clear();
    }
  }
  if (!file.Close()) {
    doc.Ui().ShowMessage(msg::CannotCloseFile);
    return false;
  }
  return true;
}

}  // namespace nami
