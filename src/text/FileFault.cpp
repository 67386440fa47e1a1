#include "text/FileFault.h"

#include <cerrno>
#include <cstring>

#include "text/Messages.h"

namespace nami {

FileFaultKind FileFaultKindOf(int error) {
  switch (error) {
    case 0:
      return FileFaultKind::None;
    case ENOENT:
    case ENOTDIR:
      return FileFaultKind::NotFound;
    case EACCES:
    case EPERM:
      return FileFaultKind::Permission;
    case EISDIR:
      return FileFaultKind::IsDirectory;
    case EFBIG:
      return FileFaultKind::TooLarge;
    case ENOSPC:
    case EDQUOT:
      return FileFaultKind::NoSpace;
    case EROFS:
      return FileFaultKind::ReadOnly;
    case ENXIO:
    case ENODEV:
      return FileFaultKind::NotRegular;
    default:
      return FileFaultKind::Other;
  }
}

FileFault SystemFileFault(int error, std::string path) {
  if (error == 0) error = EIO;
  FileFault fault;
  fault.kind = FileFaultKindOf(error);
  fault.error = error;
  fault.path = std::move(path);
  return fault;
}

FileFault DamagedDocument(DocumentDamage damage, std::string path, std::uint64_t number) {
  FileFault fault;
  fault.kind = FileFaultKind::Corrupt;
  fault.path = std::move(path);
  fault.damage = damage;
  fault.number = number;
  return fault;
}

namespace {

std::string DamageText(const FileFault& fault) {
  switch (fault.damage) {
    case DocumentDamage::NotCompound:
      return msg::NotACompoundFile;
    case DocumentDamage::NoContents:
      return msg::NoContentsStream;
    case DocumentDamage::ContentsTooLarge:
      return msg::ContentsTooLarge;
    case DocumentDamage::ContentsUnreadable:
      return msg::ContentsUnreadable;
    case DocumentDamage::NoLineCount:
      return msg::DocumentNoLineCount;
    case DocumentDamage::TooFewLines:
      return msg::DocumentTooFewLines;
    case DocumentDamage::LinePastEnd:
      return msg::Format(msg::DocumentLinePastEnd, {{"line", std::to_string(fault.number)}});
    case DocumentDamage::None:
      break;
  }
  return msg::NotANamiDocument;
}

std::string FormText(FileForm form) {
  switch (form) {
    case FileForm::Fifo:
      return msg::IsAFifo;
    case FileForm::Device:
      return msg::IsADevice;
    case FileForm::Socket:
      return msg::IsASocket;
    case FileForm::Symlink:
      return msg::IsASymlink;
    case FileForm::Other:
      break;
  }
  return msg::IsNotARegularFile;
}

// The system's words for a kind recorded without an errno.
int RepresentativeErrno(FileFaultKind kind) {
  switch (kind) {
    case FileFaultKind::NotFound:
      return ENOENT;
    case FileFaultKind::Permission:
      return EACCES;
    case FileFaultKind::IsDirectory:
      return EISDIR;
    case FileFaultKind::TooLarge:
      return EFBIG;
    case FileFaultKind::NoSpace:
      return ENOSPC;
    case FileFaultKind::ReadOnly:
      return EROFS;
    default:
      return EIO;
  }
}

}  // namespace

std::string FileFaultText(const FileFault& fault) {
  switch (fault.kind) {
    case FileFaultKind::None:
      return {};
    case FileFaultKind::Corrupt:
      return DamageText(fault);
    case FileFaultKind::Unstorable:
      return msg::Format(msg::UnstorablePath, {{"path", fault.path}});
    case FileFaultKind::Unprotected:
      return msg::Unprotected;
    case FileFaultKind::TooLarge:
      if (fault.error == 0) return msg::Format(msg::DocumentTooLarge, {{"size", std::to_string(fault.number)}});
      break;
    case FileFaultKind::IsDirectory:
      if (fault.error == 0) return msg::IsAFolder;
      break;
    case FileFaultKind::NotRegular:
      if (fault.error == 0) return FormText(fault.form);
      break;
    default:
      break;
  }
  return std::strerror(fault.error != 0 ? fault.error : RepresentativeErrno(fault.kind));
}

}  // namespace nami

namespace nami {

std::string DocumentFaultText(const FileFault& fault) {
  const bool inside = fault.kind == FileFaultKind::Corrupt || fault.kind == FileFaultKind::Unstorable ||
                      (fault.kind == FileFaultKind::TooLarge && fault.error == 0);
  if (inside || !fault.Failed()) return FileFaultText(fault);
  return msg::Format(msg::DocumentAccessFailed, {{"reason", FileFaultText(fault)}});
}

}  // namespace nami
