#include "document/DocumentFile.h"

// libgsf stays in this file: its GLib headers clash with Qt's keywords.
#include <fcntl.h>
#include <gsf/gsf-infile-impl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "settings/FileOps.h"
#include "files/UserFile.h"

namespace nami {
namespace {

const char kStreamName[] = "Contents";

// Owns one GObject reference.
template <typename T>
class GRef {
 public:
  explicit GRef(T* p = nullptr) : p_(p) {}
  ~GRef() {
    if (p_) g_object_unref(p_);
  }
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

void IgnoreLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void InitGsf() {
  static const bool done = [] {
    gsf_init();
    // A damaged file is refused with our own message; libgsf's complaints
    // about it on stderr would only confuse.
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE);
    g_log_set_handler("libgsf:msole", levels, IgnoreLog, nullptr);
    g_log_set_handler("libgsf", levels, IgnoreLog, nullptr);
    return true;
  }();
  (void)done;
}

void PutU16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// Reads little-endian numbers from the stream, never past its end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Left() const { return bytes_.size() - pos_; }
  bool U8(std::uint32_t& v) {
    if (Left() < 1) return false;
    v = Byte(0);
    pos_ += 1;
    return true;
  }
  bool U16(std::uint32_t& v) {
    if (Left() < 2) return false;
    v = Byte(0) | (Byte(1) << 8);
    pos_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (Left() < 4) return false;
    v = Byte(0) | (Byte(1) << 8) | (Byte(2) << 16) | (Byte(3) << 24);
    pos_ += 4;
    return true;
  }
  std::string_view Take(std::size_t n) {
    std::string_view s = bytes_.substr(pos_, n);
    pos_ += n;
    return s;
  }

 private:
  std::uint32_t Byte(std::size_t i) const { return static_cast<unsigned char>(bytes_[pos_ + i]); }
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeContents(const CLineStore& store) {
  const std::size_t count = store.LineCount();
  std::size_t total = 6;
  for (std::size_t i = 0; i < count; ++i) total += store.LineAt(i).size() + 7;
  std::string out;
  out.reserve(total);
  if (count < 0xFFFF) {
    PutU16(out, static_cast<std::uint32_t>(count));
  } else {
    PutU16(out, 0xFFFF);
    PutU32(out, static_cast<std::uint32_t>(count));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& line = store.LineAt(i);
    const std::size_t n = line.size();
    if (n < 0xFF) {
      out.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
      out.push_back('\xFF');
      PutU16(out, static_cast<std::uint32_t>(n));
    } else {
      out.push_back('\xFF');
      PutU16(out, 0xFFFF);
      PutU32(out, static_cast<std::uint32_t>(n));
    }
    out.append(line);
  }
  return out;
}

bool ParseContents(std::string_view bytes, CLineStore& out, FileFault& fault) {
  out.Clear();
  Reader in(bytes);
  std::uint32_t count = 0;
  if (!in.U16(count) || (count == 0xFFFF && !in.U32(count))) {
    fault = DamagedDocument(DocumentDamage::NoLineCount, {});
    return false;
  }
  // Every line takes at least its one length byte, so a count beyond the
  // bytes left is forged or truncated; reject it before reading anything.
  if (count > in.Left()) {
    fault = DamagedDocument(DocumentDamage::TooFewLines, {});
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t n = 0;
    bool ok = in.U8(n);
    if (ok && n == 0xFF) {
      ok = in.U16(n);
      // 0xFFFE marks a wide-character string, which this program never writes.
      if (ok && n == 0xFFFE) ok = false;
      if (ok && n == 0xFFFF) ok = in.U32(n);
    }
    if (!ok || n > in.Left()) {
      fault = DamagedDocument(DocumentDamage::LinePastEnd, {}, i + 1);
      out.Clear();
      return false;
    }
    out.AddLine(in.Take(n));
  }
  out.TakeEvictedCount();
  return true;
}

bool LoadDocumentBytes(CLineStore& store, std::string_view fileBytes, FileFault& fault) {
  InitGsf();
  GRef<GsfInput> source(gsf_input_memory_new(reinterpret_cast<const guint8*>(fileBytes.data()),
                                             static_cast<gsf_off_t>(fileBytes.size()), FALSE));
  if (!source) {
    fault = SystemFileFault(ENOMEM, {});
    return false;
  }
  GError* err = nullptr;
  GRef<GsfInfile> ole(gsf_infile_msole_new(source.get(), &err));
  if (err) g_error_free(std::exchange(err, nullptr));
  if (!ole) {
    fault = DamagedDocument(DocumentDamage::NotCompound, {});
    return false;
  }
  // Look the stream up by name among the root's children, through the
  // class method: the convenience calls warn on stderr about damaged files.
  GsfInput* child = nullptr;
  const int children = gsf_infile_num_children(ole.get());
  for (int i = 0; i < children && !child; ++i) {
    const char* name = gsf_infile_name_by_index(ole.get(), i);
    if (name && std::strcmp(name, kStreamName) == 0) {
      GError* childErr = nullptr;
      child = GSF_INFILE_CLASS(G_OBJECT_GET_CLASS(ole.get()))->child_by_index(ole.get(), i, &childErr);
      if (childErr) g_error_free(childErr);
    }
  }
  GRef<GsfInput> stream(child);
  if (!stream) {
    fault = DamagedDocument(DocumentDamage::NoContents, {});
    return false;
  }
  const gsf_off_t size = gsf_input_size(stream.get());
  // The stream cannot be longer than the file that holds it.
  if (size < 0 || static_cast<std::uint64_t>(size) > fileBytes.size()) {
    fault = DamagedDocument(DocumentDamage::ContentsTooLarge, {});
    return false;
  }
  std::string contents(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !gsf_input_read(stream.get(), static_cast<size_t>(size), reinterpret_cast<guint8*>(contents.data()))) {
    fault = DamagedDocument(DocumentDamage::ContentsUnreadable, {});
    return false;
  }
  CLineStore loaded;
  if (!ParseContents(contents, loaded, fault)) return false;
  store.Swap(loaded);
  return true;
}

bool LoadDocument(CLineStore& store, const std::string& path, FileFault& fault) {
  const int fd = OpenUserFile(path, UserFileMode::Read, fault);
  if (fd < 0) return false;
  std::string bytes;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  // A full store saved with every line at its longest, and the compound
  // file around it: anything larger was not written by this program.
  constexpr std::uint64_t kMaxDocument = CLineStore::kCapacity * (0xFEull + 7) + (1u << 20);
  if (ok && static_cast<std::uint64_t>(st.st_size) > kMaxDocument) {
    ::close(fd);
    fault = FileFault{FileFaultKind::TooLarge, 0, path};
    fault.number = static_cast<std::uint64_t>(st.st_size);
    return false;
  }
  // The signature first: a large file of another kind is not read whole.
  static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  unsigned char head[sizeof kSignature] = {};
  if (ok && (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head) ||
             std::memcmp(head, kSignature, sizeof head) != 0)) {
    ::close(fd);
    fault = DamagedDocument(DocumentDamage::NotCompound, path);
    return false;
  }
  int readError = ok ? 0 : errno;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (ok && got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) got += static_cast<std::size_t>(n);
      if (n < 0) readError = errno;
    }
  }
  ::close(fd);
  if (!ok) {
    fault = SystemFileFault(readError, path);  // EIO for a file cut short while read
    return false;
  }
  if (LoadDocumentBytes(store, bytes, fault)) return true;
  fault.path = path;
  return false;
}

bool SaveDocument(const CLineStore& store, const std::string& path, FileFault& fault, IFileOps& ops) {
  return SaveContents(EncodeContents(store), path, fault, ops);
}

bool SaveContents(std::string_view contents, const std::string& path, FileFault& fault, IFileOps& ops) {
  InitGsf();
  // Building the file in memory fails only when memory runs out.
  const FileFault noMemory = SystemFileFault(ENOMEM, path);
  std::string file;
  {
    GRef<GsfOutput> sink(gsf_output_memory_new());
    GRef<GsfOutfile> ole(gsf_outfile_msole_new(sink.get()));
    if (!ole) {
      fault = noMemory;
      return false;
    }
    GRef<GsfOutput> stream(gsf_outfile_new_child(ole.get(), kStreamName, FALSE));
    bool ok = stream && gsf_output_write(stream.get(), contents.size(), reinterpret_cast<const guint8*>(contents.data()));
    ok = stream && gsf_output_close(stream.get()) && ok;
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) && ok;
    if (!ok) {
      fault = noMemory;
      return false;
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!data && size > 0) {
      fault = noMemory;
      return false;
    }
    file.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
  }
  errno = 0;
  if (!WriteFileAtomically(path, file, ops)) {
    fault = SystemFileFault(errno, path);
    return false;
  }
  return true;
}

}  // namespace nami
