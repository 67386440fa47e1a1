// The default file names and the data of the transfer file dialogs, kept in
// one place. Titles and filters are UI texts (UTF-8) for the shell's
// dialogs; the default capture name is a file name built from the local date.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "text/Messages.h"

namespace nami {

// Today's capture file name: the local date formatted "%y%m%d.DWN".
std::string DefaultCaptureName(std::time_t now);

// What the user is told when clipboard text did not fit the paste buffer
// (UTF-8): how many bytes at its end are not sent.
std::string PasteCutNotice(std::size_t cutBytes);

namespace dialog {
inline const char* const UploadTitle = msg::UploadTitle.c_str();
inline const char* const DownloadTitle = msg::DownloadTitle.c_str();
inline const char* const RetroDownloadTitle = msg::RetroDownloadTitle.c_str();
inline const char* const CopyToFileTitle = msg::CopyToFileTitle.c_str();

// Filters as display name / pattern pairs separated by "|", ended by "||".
inline const char* const UploadFilter = msg::UploadFilter.c_str();
inline const char* const DownloadFilter = msg::DownloadFilter.c_str();

struct FilterEntry {
  std::string name;     // shown to the user, blanks kept
  std::string pattern;  // e.g. " *.upl" (blanks kept as written)
};

// Splits a filter at each "|" into alternating names and patterns, exactly
// as written; the empty pair after the final "||" ends the list. The first
// entry is the one selected initially.
std::vector<FilterEntry> SplitFilter(const std::string& filter);
}  // namespace dialog

}  // namespace nami
