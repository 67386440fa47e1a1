#include "settings/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/Cp932.h"
#include "text/Messages.h"
#include "text/ShiftJis.h"

namespace nami {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compare with ASCII letters folded. In CP932 the second byte of a
// two-byte character may be a letter's byte ("ア" is 83 41, "ヂ" 83 61), so
// both bytes of a character compare exactly. (UTF-8 puts no letter byte
// inside a character, so stepping by CP932's rule is only needed there.)
bool EqualNoCase(std::string_view a, std::string_view b, bool cp932) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (cp932 && IsLeadByte(a[i])) {
      if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
      ++i;
    } else if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
  }
  return true;
}

// The length of `value` cut to at most `max` bytes at a CP932 character start.
std::size_t CutAtCharStart(std::string_view value, std::size_t max) {
  std::size_t i = 0;
  while (i < value.size()) {
    std::size_t next = i + (IsLeadByte(value[i]) ? 2 : 1);
    if (next > max) break;
    i = next;
  }
  return std::min(i, value.size());
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// One line of the raw text: [start, end) is its text, next is where the
// following line starts (after CR LF, LF or a lone CR).
struct Line {
  std::size_t start, end, next;
};

Line LineAt(const std::string& text, std::size_t start) {
  std::size_t i = start;
  while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
  Line line{start, i, i};
  if (i < text.size()) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') line.next = i + 2;
    else line.next = i + 1;
  }
  return line;
}

// "[name]" gives true and the trimmed name. In CP932 the closing bracket is
// looked for at character starts: 0x5D is also the second byte of 52
// characters (江, 転, 評, 望, ゾ, ...). UTF-8 has no such byte inside a character.
bool SectionName(std::string_view line, std::string_view& name, bool cp932) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  std::size_t close = cp932 ? FindAtCharStart(line, "]", 1) : line.find(']');
  name = Trim(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
  return true;
}

// "key=value" gives true, the trimmed key and the raw value text.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

std::string Unquote(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::string_view LineEndOf(const std::string& text) {
  std::size_t i = text.find_first_of("\r\n");
  if (i == std::string::npos) return "\r\n";
  if (text[i] == '\n') return "\n";
  if (i + 1 < text.size() && text[i + 1] == '\n') return "\r\n";
  return "\r";
}

}  // namespace

CIniFile::CIniFile(std::string path, IFileOps& ops) : path_(std::move(path)), ops_(ops) {}

void CIniFile::NoteProblem(const std::string& text) const {
  if (!problem_.empty()) return;  // the first problem is the one worth telling
  problem_ = text;
  problemTaken_ = false;
}

std::string CIniFile::TakeProblem() {
  if (problemTaken_ || problem_.empty()) return {};
  problemTaken_ = true;
  return problem_;
}

const std::string& CIniFile::Text() const {
  if (unreadable_) return text_;  // empty, for the rest of the run
  auto unreadable = [this](const std::string& why) -> const std::string& {
    unreadable_ = true;
    text_.clear();
    NoteProblem(msg::Format(msg::SettingsCannotBeRead, {{"path", path_}, {"reason", why}}));
    return text_;
  };
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) {
    // Missing is an empty file; anything else (no permission to look into
    // the folder, an I/O error) is not.
    if (errno != ENOENT && errno != ENOTDIR) return unreadable(std::strerror(errno));
    text_.clear();
    DetectEncoding();
    loaded_ = false;
    size_ = -1;
    return text_;
  }
  if (S_ISDIR(st.st_mode)) return unreadable("it is a folder");
  // A FIFO or a device would hold the program or feed it endless text.
  if (!S_ISREG(st.st_mode)) return unreadable("it is not a regular file");
  if (!loaded_ || st.st_ino != ino_ || st.st_size != size_ || st.st_mtim.tv_sec != mtime_.tv_sec ||
      st.st_mtim.tv_nsec != mtime_.tv_nsec) {
    std::string why;
    if (!ReadWholeFile(path_, text_, ops_, &why)) return unreadable(why);
    DetectEncoding();
    loaded_ = true;
    ino_ = st.st_ino;
    size_ = st.st_size;
    mtime_ = st.st_mtim;
  }
  return text_;
}

void CIniFile::DetectEncoding() const {
  bom_ = std::string_view(text_).substr(0, kUtf8Bom.size()) == kUtf8Bom;
  // Valid UTF-8 holding a character of three or more bytes (every kana and
  // kanji is one). CP932 text practically never holds one, but half-width
  // kana in pairs ("ﾅｶ" is C5 B6) make valid two-byte sequences, so those
  // alone prove nothing: such a file is the Windows program's CP932.
  const auto longSequence = [](char c) { return static_cast<unsigned char>(c) >= 0xE0; };
  utf8_ = bom_ || (std::any_of(text_.begin(), text_.end(), longSequence) && IsValidUtf8(text_));
}

std::string CIniFile::ToFile(std::string_view cp932) const { return utf8_ ? Cp932ToUtf8(cp932) : std::string(cp932); }

std::string CIniFile::FromFile(std::string_view bytes) const { return utf8_ ? Utf8ToCp932(bytes) : std::string(bytes); }

CIniFile::Found CIniFile::Locate(std::string_view sectionCp932, std::string_view keyCp932) const {
  const std::string& text = Text();
  const std::string section = ToFile(sectionCp932);
  const std::string key = ToFile(keyCp932);
  const bool cp932 = !utf8_;
  Found f;
  bool inSection = false;
  std::size_t pos = bom_ ? kUtf8Bom.size() : 0;
  while (pos < text.size()) {
    Line line = LineAt(text, pos);
    std::string_view body(text.data() + line.start, line.end - line.start);
    std::string_view name;
    if (SectionName(body, name, cp932)) {
      if (inSection) break;  // the first matching section ended
      if (EqualNoCase(name, section, cp932)) {
        inSection = true;
        f.sectionFound = true;
        f.insertAt = line.next;
      }
    } else if (inSection) {
      std::string_view k, v;
      if (KeyValue(body, k, v) && EqualNoCase(k, key, cp932)) {
        f.keyFound = true;
        f.lineStart = line.start;
        f.lineEnd = line.end;
        f.value = FromFile(Unquote(v));
        return f;
      }
      if (!Trim(body).empty()) f.insertAt = line.next;
    }
    pos = line.next;
  }
  return f;
}

std::string CIniFile::ReadString(std::string_view section, std::string_view key, int bufSize) const {
  if (bufSize <= 0) return {};
  Found f = Locate(section, key);
  if (!f.keyFound) return {};
  f.value.resize(CutAtCharStart(f.value, static_cast<std::size_t>(bufSize - 1)));
  return f.value;
}

bool CIniFile::HasKey(std::string_view section, std::string_view key) const {
  return Locate(section, key).keyFound;
}

bool CIniFile::HasSection(std::string_view section) const { return Locate(section, {}).sectionFound; }

bool CIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::size_t cut = value.find_first_of("\r\n");
  if (cut != std::string_view::npos) value = value.substr(0, cut);
  std::string entry(key);
  entry += '=';
  bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"' ||
                                  value.back() == '"');
  if (quote) entry += '"';
  entry += value;
  if (quote) entry += '"';

  Found f = Locate(section, key);
  if (unreadable_) return false;
  // A file the user has made read-only is left as it is: the atomic
  // replace would otherwise take no notice of its permissions.
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(path_.c_str(), W_OK) != 0)) {
    NoteProblem(msg::Format(msg::SettingsIsReadOnly, {{"path", path_}}));
    return false;
  }
  // The file is written back in the encoding it was read in; a new one is CP932.
  entry = ToFile(entry);
  std::string text = Text();
  const std::string eol(LineEndOf(text));
  if (f.keyFound) {
    text.replace(f.lineStart, f.lineEnd - f.lineStart, entry);
  } else if (f.sectionFound) {
    std::string insert;
    // The section's last line may be the file's last line without a line end.
    if (f.insertAt > 0 && text[f.insertAt - 1] != '\n' && text[f.insertAt - 1] != '\r') insert += eol;
    insert += entry + eol;
    text.insert(f.insertAt, insert);
  } else {
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += eol;
    text += "[";
    text += ToFile(section);
    text += "]" + eol + entry + eol;
  }
  std::string why;
  if (!WriteFileAtomically(path_, text, ops_, &why)) {
    NoteProblem(msg::Format(msg::SettingsCannotBeWritten, {{"path", path_}, {"reason", why}}));
    return false;
  }
  // The file now holds what was written, in the encoding it was read in: it
  // is not guessed again (a CP932 file whose last line that is not UTF-8
  // was just replaced could pass for UTF-8, and its other lines would then
  // read wrong).
  struct stat now;
  loaded_ = ::stat(path_.c_str(), &now) == 0;
  if (loaded_) {
    text_ = std::move(text);
    ino_ = now.st_ino;
    size_ = now.st_size;
    mtime_ = now.st_mtim;
  }
  return true;
}

}  // namespace nami
