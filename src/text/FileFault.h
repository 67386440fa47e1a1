// Why a file or a document could not be used: what ports have in
// SPortError, for files. The layer that meets the failure records its kind,
// the system's errno and the file; the words for the user are made from it
// (FileFaultText) only where the failure is shown, so the cause travels
// unchanged up to the edge. Paths are UTF-8 here as everywhere outside
// NAMI.INI and the link.
#pragma once

#include <cstdint>
#include <string>

namespace nami {

enum class FileFaultKind {
  None,         // no failure
  NotFound,     // no such file or folder (ENOENT, ENOTDIR)
  Permission,   // the user may not read or write it (EACCES, EPERM)
  NotRegular,   // a named pipe, a device or a socket: `form` says which
  IsDirectory,  // a folder where a file was wanted (EISDIR)
  TooLarge,     // larger than the file may be (EFBIG), or than any document
                // this program writes (`number`: its size)
  NoSpace,      // the disk or the quota is full (ENOSPC, EDQUOT)
  ReadOnly,     // a read-only file system (EROFS)
  Unstorable,   // its name has a character CP932 cannot hold (NAMI.INI)
  Unprotected,  // it holds secrets, but others may read or change it
  Corrupt,      // a document whose contents cannot be taken: `damage` says how
  Other,        // any other system error
};

// What is wrong inside a document (kind Corrupt).
enum class DocumentDamage {
  None,
  NotCompound,         // no compound file at all
  NoContents,          // no "Contents" stream
  ContentsTooLarge,    // the stream claims more than the file holds
  ContentsUnreadable,  // the stream cannot be read
  NoLineCount,         // the stream ends before its line count
  TooFewLines,         // it announces more lines than it holds
  LinePastEnd,         // line `number` runs past the end
};

// What a file that is not a regular file is (kind NotRegular). A symbolic
// link is one only where links are not followed (a file of secrets).
enum class FileForm { Other, Fifo, Device, Socket, Symlink };

struct FileFault {
  FileFaultKind kind = FileFaultKind::None;
  int error = 0;     // the system's errno, 0 where there is none
  std::string path;  // the file, as the file system names it (UTF-8)
  FileForm form = FileForm::Other;
  DocumentDamage damage = DocumentDamage::None;
  std::uint64_t number = 0;  // the damaged line, or the size of a too large file

  bool Failed() const { return kind != FileFaultKind::None; }
};

// The kind a system error stands for.
FileFaultKind FileFaultKindOf(int error);
// A failed system call on `path`: its kind from the errno (EIO when the
// call left none).
FileFault SystemFileFault(int error, std::string path);
// A document whose contents cannot be taken.
FileFault DamagedDocument(DocumentDamage damage, std::string path, std::uint64_t number = 0);

// The reason for the user, without the file's name (UTF-8): the system's
// words for an errno, else the catalogue's ("is a folder, not a file",
// "The document file is damaged: …"). Empty for no failure.
std::string FileFaultText(const FileFault& fault);
// Why a document cannot be opened: what is wrong in it, or for a file that
// cannot be read at all "Cannot Open File: " and the reason.
std::string DocumentFaultText(const FileFault& fault);

}  // namespace nami
