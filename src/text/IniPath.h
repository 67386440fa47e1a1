// Paths kept in NAMI.INI, and the document's profile section, crossing
// between the file's CP932 and the file system's names (UTF-8, as in every
// current Linux locale and in Qt). Every path read from or written to
// NAMI.INI goes through here, and nowhere else converts one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nami {

// A path read from NAMI.INI, as the file system names it.
std::string IniPathToFs(std::string_view cp932);

// A file-system path as NAMI.INI stores it; nullopt when CP932 cannot hold
// one of its characters (the caller refuses it and names it).
std::optional<std::string> FsPathToIni(std::string_view fsPath);

// The message that refuses such a path (UTF-8), naming it.
std::string UnstorablePathMessage(std::string_view fsPath);

// The profile section of a document file: its base name without the
// extension, in CP932 ("東京.nmi" -> "[東京]" as a Windows NAMI.INI has it).
// A name CP932 cannot hold gets "?" for those characters; callers refuse
// such a document first (DocumentNameStorable).
std::string ProfileSectionForDocument(std::string_view fsPath);
bool DocumentNameStorable(std::string_view fsPath);

}  // namespace nami
