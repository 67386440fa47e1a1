// The document file (".nmi"): a compound file whose root storage holds the
// stream "Contents" with the line store, little-endian:
//
//   line count   16-bit; 0xFFFF and then 32-bit when the count is 0xFFFF or more
//   each line    its length, then its bytes (no terminator); the length is
//                one byte below 255, else 0xFF and 16-bit below 0xFFFE,
//                else 0xFF, 0xFFFF and 32-bit
//
// Saving replaces the file atomically. Loading reads the whole stream into a
// new store and takes it only when the stream is complete and consistent,
// so a bad file leaves the store as it was. Other streams in the file are
// ignored.
#pragma once

#include <string>
#include <string_view>

#include "settings/FileOps.h"
#include "terminal/LineStore.h"
#include "text/FileFault.h"

namespace nami {

// The "Contents" stream for a store, and the store for a stream. ParseContents
// fills `out` (emptied first) and returns false with `fault` set (kind
// Corrupt, how in `damage`) when the bytes are not a complete store.
std::string EncodeContents(const CLineStore& store);
bool ParseContents(std::string_view bytes, CLineStore& out, FileFault& fault);

// Writes the store to `path` as a document file. False with `fault` set
// when the file cannot be written; an existing file then stays whole.
bool SaveDocument(const CLineStore& store, const std::string& path, FileFault& fault, IFileOps& ops = PosixFileOps());

// Writes `contents` as the "Contents" stream of a new document file.
bool SaveContents(std::string_view contents, const std::string& path, FileFault& fault, IFileOps& ops = PosixFileOps());

// Replaces the store's lines with those of the document file at `path`. A
// file that cannot be read, is no compound file, has no "Contents" stream
// or whose stream is short or inconsistent gives false with `fault` set
// and leaves the store unchanged.
bool LoadDocument(CLineStore& store, const std::string& path, FileFault& fault);

// The same for a document file already in memory (used by the fuzzer); the
// fault names no file.
bool LoadDocumentBytes(CLineStore& store, std::string_view fileBytes, FileFault& fault);

}  // namespace nami
