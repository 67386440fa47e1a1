// The lines marked in the history pane, as text for the clipboard and
// edit-and-send, or appended to a file.
//
// The marked range is inclusive and empty when its last line is below its
// first; indices outside the line store are skipped.
#pragma once

#include <string>

#include "terminal/HistoryModel.h"
#include "terminal/NamiDoc.h"

namespace nami {

// The marked text for the clipboard is CHistoryModel::MarkedText().
// Appends every line of `marks` with CR LF to `path` (created when
// missing), with no size limit. On failure shows "Cannot Open File",
// "Cannot Write File" or "Cannot Close File" and returns false.
bool CopyMarkedLinesToFile(CNamiDoc& doc, const MarkedRange& marks, const std::string& path);

}  // namespace nami
