#include "mailbox/MailStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "text/Cp932.h"

namespace nami::mailbox {
namespace {

constexpr const char* kSchemaV1 = R"sql(
CREATE TABLE list_entries(
  id INTEGER PRIMARY KEY,
  profile TEXT NOT NULL, bbs TEXT NOT NULL, number INTEGER NOT NULL,
  type TEXT, status TEXT, size INTEGER,
  to_call TEXT, at_bbs TEXT, from_call TEXT, date TEXT, subject TEXT,
  first_seen INTEGER NOT NULL,
  UNIQUE(profile, bbs, number));
CREATE TABLE messages(
  id INTEGER PRIMARY KEY,
  profile TEXT NOT NULL, bbs TEXT NOT NULL, number INTEGER NOT NULL,
  list_id INTEGER REFERENCES list_entries(id) ON DELETE SET NULL,
  hash INTEGER NOT NULL,
  type TEXT, status TEXT, from_call TEXT, to_call TEXT, at_bbs TEXT, date TEXT, subject TEXT,
  folder TEXT NOT NULL DEFAULT 'inbox',
  unread INTEGER NOT NULL DEFAULT 1,
  received_at INTEGER, read_at INTEGER, run TEXT, format TEXT,
  body_at INTEGER NOT NULL, body_end INTEGER NOT NULL,
  text TEXT NOT NULL,
  raw BLOB,
  UNIQUE(profile, bbs, hash, number));
CREATE INDEX messages_by_folder ON messages(profile, folder, id);
CREATE INDEX messages_by_profile ON messages(profile, id);
CREATE VIRTUAL TABLE messages_fts USING fts5(
  text, content='messages', content_rowid='id', tokenize='trigram', detail='none');
CREATE VIRTUAL TABLE messages_terms USING fts5vocab(messages_fts, 'row');
CREATE TABLE outgoing(
  id INTEGER PRIMARY KEY,
  profile TEXT NOT NULL, bbs TEXT,
  to_call TEXT NOT NULL, at_bbs TEXT, bulletin INTEGER NOT NULL DEFAULT 0,
  subject TEXT, body TEXT, file TEXT,
  state TEXT NOT NULL, slot INTEGER, answer TEXT,
  created_at INTEGER, sent_at INTEGER);
)sql";

// Version 2: the search index merges its segments sixteen at a time
// instead of four, which takes about a fifth off an import's indexing for
// a few more segments read by each search.
constexpr const char* kSchemaV2 = R"sql(
INSERT INTO messages_fts(messages_fts, rank) VALUES('automerge', 16);
INSERT INTO messages_fts(messages_fts, rank) VALUES('crisismerge', 64);
)sql";

constexpr const char* kMessageColumns =
    "id, profile, bbs, number, type, status, from_call, to_call, at_bbs, date, subject, folder, unread, "
    "received_at, read_at, run, format";

void ReadRow(const CStmt& s, SMessageRow& r) {
  r.id = s.Int(0);
  r.profile = s.Text(1);
  r.bbs = s.Text(2);
  r.number = s.Int(3);
  r.type = s.Text(4);
  r.status = s.Text(5);
  r.from = s.Text(6);
  r.to = s.Text(7);
  r.at = s.Text(8);
  r.date = s.Text(9);
  r.subject = s.Text(10);
  r.folder = s.Text(11);
  r.unread = s.Int(12) != 0;
  r.receivedAt = s.Int(13);
  r.readAt = s.Int(14);
  r.run = s.Text(15);
  r.format = s.Text(16);
}

std::string Join(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) out += '\n';
    out += lines[i];
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) { return Join(lines, 0, lines.size()); }

std::size_t Utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

}  // namespace

std::string StoreFault::Text() const {
  std::string reason;
  switch (kind) {
    case FaultKind::None: return {};
    case FaultKind::CannotOpen: reason = "cannot be opened"; break;
    case FaultKind::ReadOnly: reason = "cannot be written (read-only)"; break;
    case FaultKind::Full: reason = "cannot be written: the disk is full"; break;
    case FaultKind::Locked: reason = "is locked by another program"; break;
    case FaultKind::Corrupt: reason = "is damaged (run \"nami mail rebuild\" to set it aside and rebuild it)"; break;
    case FaultKind::Io:
      reason = (code & 0xFF) == SQLITE_IOERR && (code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC)
                   ? "cannot be written: the disk refused the write (is it full?)"
                   : "cannot be read or written";
      break;
    case FaultKind::Other: reason = "cannot be used"; break;
  }
  std::string text = "the mailbox " + path + " " + reason;
  if (sysErrno != 0) text += std::string(": ") + std::strerror(sysErrno);
  else if (!detail.empty()) text += ": " + detail;
  return text;
}

bool ParseListLine(std::string_view line, SListEntry& out) {
  std::vector<std::string_view> words;
  std::vector<std::size_t> ends;
  std::size_t i = 0;
  while (i < line.size() && words.size() < 9) {
    const auto b = line.find_first_not_of(" \t\r\n", i);
    if (b == std::string_view::npos) break;
    auto e = line.find_first_of(" \t\r\n", b);
    if (e == std::string_view::npos) e = line.size();
    words.push_back(line.substr(b, e - b));
    ends.push_back(e);
    i = e;
  }
  auto digits = [](std::string_view w) {
    return !w.empty() && w.size() <= 12 && w.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (words.size() < 5 || !digits(words[0])) return false;
  // number, type+status ("BN", "PY", "B$"), size, to[@bbs], [@bbs], from, date, subject
  std::size_t w = 1;
  std::string_view ts = words[w];
  if (ts.empty() || !std::isalpha(static_cast<unsigned char>(ts[0])) || ts.size() > 4) return false;
  ++w;
  out = SListEntry{};
  out.number = std::strtoll(std::string(words[0]).c_str(), nullptr, 10);
  out.type = std::string(ts.substr(0, 1));
  out.status = ts.size() > 1 ? std::string(ts.substr(1, 1)) : std::string();
  if (w < words.size() && digits(words[w])) out.size = std::strtoll(std::string(words[w++]).c_str(), nullptr, 10);
  if (w >= words.size()) return false;
  std::string_view to = words[w++];
  if (const auto at = to.find('@'); at != std::string_view::npos) {
    out.at = std::string(to.substr(at + 1));
    to = to.substr(0, at);
  }
  out.to = std::string(to);
  if (w < words.size() && words[w][0] == '@') {
    out.at = std::string(words[w].size() > 1 ? words[w].substr(1) : std::string_view());
    ++w;
    if (out.at.empty() && w < words.size()) out.at = std::string(words[w++]);
  }
  if (w < words.size()) out.from = std::string(words[w++]);
  if (w < words.size()) out.date = std::string(words[w++]);
  if (w <= words.size() && w > 0 && ends[w - 1] < line.size())
    out.subject = std::string(Trim(line.substr(ends[w - 1])));
  out.line = std::string(line);
  return true;
}

std::int64_t TextHash(const std::vector<std::string>& lines) {
  std::uint64_t h = 1469598103934665603ull;
  bool first = true;
  for (const std::string& line : lines) {
    if (!first) h = (h ^ '\n') * 1099511628211ull;
    first = false;
    for (unsigned char c : line) h = (h ^ c) * 1099511628211ull;
  }
  return static_cast<std::int64_t>(h);
}

std::string CMailStore::PathBeside(const std::string& iniPath) {
  const auto slash = iniPath.rfind('/');
  return (slash == std::string::npos ? std::string() : iniPath.substr(0, slash + 1)) + "mailbox.sqlite";
}

StoreFault CMailStore::Fault(int rc) const {
  StoreFault f;
  f.code = rc;
  f.path = path_;
  if (db_.IsOpen()) {
    f.detail = db_.ErrorText();
    f.sysErrno = sqlite3_system_errno(db_.Get());
  } else {
    f.detail = sqlite3_errstr(rc);
  }
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: f.kind = FaultKind::None; break;
    case SQLITE_READONLY: f.kind = FaultKind::ReadOnly; break;
    case SQLITE_FULL: f.kind = FaultKind::Full; break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: f.kind = FaultKind::Locked; break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: f.kind = FaultKind::Corrupt; break;
    case SQLITE_CANTOPEN: f.kind = FaultKind::CannotOpen; break;
    case SQLITE_IOERR: f.kind = f.sysErrno == ENOSPC || f.sysErrno == EDQUOT || f.sysErrno == EFBIG ? FaultKind::Full : FaultKind::Io; break;
    case SQLITE_PERM: f.kind = FaultKind::ReadOnly; break;
    default: f.kind = FaultKind::Other; break;
  }
  if (f.kind == FaultKind::Full && f.sysErrno == 0) f.sysErrno = ENOSPC;
  return f;
}

StoreFault CMailStore::Open() {
  if (db_.IsOpen()) return {};
  immutable_ = false;
  readingNote_.clear();
  const int rc = db_.Open(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  StoreFault f;
  if (rc != SQLITE_OK) {
    f = Fault(rc);
  } else {
    // Another process writing waits up to 5 s for us, and we for it.
    sqlite3_busy_timeout(db_.Get(), 5000);
    f = Migrate();
  }
  if (f) {
    Close();
    // A store that cannot be made: say why in the file system's words.
    struct stat st {};
    const auto slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash);
    if (f.kind == FaultKind::CannotOpen || f.kind == FaultKind::ReadOnly || f.kind == FaultKind::Io) {
      if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT && ::access(dir.c_str(), W_OK) != 0) {
        f.kind = errno == ENOENT ? FaultKind::CannotOpen : FaultKind::ReadOnly;
        f.sysErrno = errno;
      } else if (::access(path_.c_str(), W_OK) != 0 && errno != ENOENT) {
        f.kind = FaultKind::ReadOnly;
        f.sysErrno = errno;
      }
    }
  }
  return f;
}

namespace {

// A file name as an SQLite URI ("file:" and the name, with the characters
// URIs give a meaning percent-encoded).
std::string FileUri(const std::string& path, const char* query) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  return uri + "?" + query;
}

}  // namespace

CMailStore::SFileStamp CMailStore::Stamp(const std::string& path) {
  SFileStamp s;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.size = static_cast<long long>(st.st_size);
  s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  s.inode = static_cast<long long>(st.st_ino);
  return s;
}

// Without a -wal file every committed change is in the store file itself,
// and nobody has the store open: it is read as an immutable file, with no
// lock and no -shm file (which would be created otherwise, even in a
// read-only connection). A writer starting meanwhile is noticed afterwards
// by ChangedWhileRead. With a -wal file, SQLite's read-only connection
// reads what it holds; where it cannot (a read-only folder without the
// -shm file), the store file is read as of its last checkpoint.
StoreFault CMailStore::OpenForReading(bool& missing, bool shared) {
  missing = false;
  readingNote_.clear();
  if (db_.IsOpen()) return {};
  stampAtOpen_ = Stamp(path_);
  if (!stampAtOpen_.exists || stampAtOpen_.size == 0) {
    missing = true;
    return {};
  }
  const SFileStamp wal = Stamp(path_ + "-wal");
  StoreFault f = OpenReadOnly(!shared && !wal.exists);
  if (f && wal.exists && (f.kind == FaultKind::CannotOpen || f.kind == FaultKind::ReadOnly)) {
    f = OpenReadOnly(true);
    if (!f && wal.size > 0)
      readingNote_ = path_ + "-wal holds changes that cannot be read in this folder without writing; "
                     "the newest messages may be missing";
  }
  if (f) return f;
  int version = -1;
  f = SchemaVersion(version);
  if (!f) f = CheckFile(version);
  if (!f) f = TouchSchema();
  if (!f && version < kSchemaVersion) {
    // An older store: upgraded where it can be written, else read as it is.
    Close();
    if (!Open()) return {};
    return OpenReadOnly(!shared && !wal.exists);
  }
  if (f) Close();
  return f;
}

StoreFault CMailStore::OpenReadOnly(bool immutable) {
  Close();
  immutable_ = immutable;
  const int rc = db_.Open(FileUri(path_, immutable ? "immutable=1" : "mode=ro"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (rc != SQLITE_OK) return Fault(rc);
  sqlite3_busy_timeout(db_.Get(), 5000);
  // The first read opens the -wal and -shm files: a failure shows here.
  int version = -1;
  if (StoreFault f = SchemaVersion(version)) {
    Close();
    return f;
  }
  return {};
}

bool CMailStore::ChangedWhileRead() const {
  return immutable_ && (Stamp(path_ + "-wal").exists || !(Stamp(path_) == stampAtOpen_));
}

StoreFault CMailStore::Migrate() {
  int version = -1;
  if (StoreFault f = SchemaVersion(version)) return f;
  if (StoreFault f = CheckFile(version)) return f;
  if (StoreFault f = EnterWal()) return f;
  // In WAL mode NORMAL keeps every committed transaction across a killed
  // process; only a power cut can lose the last ones, never consistency.
  // A 32 MB page cache keeps the indexes of a large import in memory.
  if (int rc = db_.Exec("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; PRAGMA cache_size=-32768"); rc != SQLITE_OK)
    return Fault(rc);
  return version == kSchemaVersion ? TouchSchema() : Upgrade();
}

StoreFault CMailStore::SchemaVersion(int& version) {
  CStmt s(db_, "PRAGMA user_version");
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Fault(rc);
  version = static_cast<int>(s.Int(0));
  return {};
}

// A store made by a newer nami, or a file cut short (SQLite's header
// promises more pages than it has, and no -wal file holds them).
StoreFault CMailStore::CheckFile(int version) {
  if (version > kSchemaVersion) {
    StoreFault f;
    f.kind = FaultKind::Other;
    f.path = path_;
    f.detail = "it was made by a newer nami (schema " + std::to_string(version) + ")";
    return f;
  }
  if (version <= 0) return {};
  CStmt pc(db_, "PRAGMA page_count");
  CStmt ps(db_, "PRAGMA page_size");
  struct stat st {};
  struct stat wal {};
  if (pc.Step() == SQLITE_ROW && ps.Step() == SQLITE_ROW && ::stat(path_.c_str(), &st) == 0 &&
      ::stat((path_ + "-wal").c_str(), &wal) != 0 && static_cast<long long>(st.st_size) < pc.Int(0) * ps.Int(0)) {
    StoreFault f = Fault(SQLITE_CORRUPT);
    f.detail = "the file is shorter than its header says";
    f.sysErrno = 0;
    return f;
  }
  return {};
}

// Switching to WAL needs the file to itself for a moment: another process
// opening the store at the same time is waited for.
StoreFault CMailStore::EnterWal() {
  for (int attempt = 0;; ++attempt) {
    CStmt wal(db_, "PRAGMA journal_mode=WAL");
    const int rc = wal.Step();
    if (rc == SQLITE_ROW) return {};
    if ((rc & 0xFF) != SQLITE_BUSY || attempt >= 500) return Fault(rc);
    ::usleep(10000);
  }
}

// Reads the schema, so that a file that is no database fails here.
StoreFault CMailStore::TouchSchema() {
  CStmt s(db_, "SELECT count(*) FROM sqlite_master");
  const int rc = s.Step();
  return rc == SQLITE_ROW ? StoreFault{} : Fault(rc);
}

// Brings the schema to kSchemaVersion, one step per version, in one
// transaction.
StoreFault CMailStore::Upgrade() {
  if (StoreFault f = Begin()) return f;
  int version = -1;
  // Another process may have upgraded it while we waited for the lock.
  StoreFault f = SchemaVersion(version);
  int rc = SQLITE_OK;
  if (!f && version < 1) rc = db_.Exec(kSchemaV1);
  if (!f && rc == SQLITE_OK && version < 2) rc = db_.Exec(kSchemaV2);
  if (!f && rc == SQLITE_OK && version < kSchemaVersion)
    rc = db_.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
  if (!f && rc != SQLITE_OK) f = Fault(rc);
  if (f) {
    Rollback();
    return f;
  }
  return Commit();
}

StoreFault CMailStore::SetAside(std::string& movedTo) {
  Close();
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  movedTo = path_ + ".corrupt-" + stamp;
  if (::rename(path_.c_str(), movedTo.c_str()) != 0 && errno != ENOENT) {
    StoreFault f;
    f.kind = errno == EACCES || errno == EROFS || errno == EPERM ? FaultKind::ReadOnly : FaultKind::Io;
    f.sysErrno = errno;
    f.path = path_;
    return f;
  }
  for (const char* side : {"-wal", "-shm"}) {
    const std::string from = path_ + side;
    if (::rename(from.c_str(), (movedTo + side).c_str()) != 0 && errno != ENOENT) ::unlink(from.c_str());
  }
  return {};
}

StoreFault CMailStore::Begin() { return Fault(db_.Exec("BEGIN IMMEDIATE")); }
StoreFault CMailStore::Commit() {
  const int rc = db_.Exec("COMMIT");
  if (rc != SQLITE_OK) {
    StoreFault f = Fault(rc);
    Rollback();
    return f;
  }
  return {};
}
void CMailStore::Rollback() {
  bulkFrom_ = 0;
  if (db_.IsOpen() && !sqlite3_get_autocommit(db_.Get())) db_.Exec("ROLLBACK");
}

namespace {

constexpr std::array<const char*, 5> kPreparedSql = {
    // InsertListEntry
    "INSERT INTO list_entries(profile, bbs, number, type, status, size, to_call, at_bbs, from_call, date, "
    "subject, first_seen) VALUES (?,?,?,?,?,?,?,?,?,?,?,?) "
    "ON CONFLICT(profile, bbs, number) DO NOTHING",
    // UpdateListStatus
    "UPDATE list_entries SET status=? WHERE profile=? AND bbs=? AND number=? AND status IS NOT ?",
    // KnownByHash
    "SELECT 1 FROM messages WHERE profile=? AND bbs=? AND hash=? LIMIT 1",
    // ListedEntry
    "SELECT id, type, status, to_call, at_bbs, from_call, date, subject FROM list_entries "
    "WHERE profile=? AND bbs=? AND number=?",
    // InsertMessage
    "INSERT INTO messages(profile, bbs, number, list_id, hash, type, status, from_call, to_call, at_bbs, "
    "date, subject, received_at, run, format, body_at, body_end, text, raw) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
    "ON CONFLICT(profile, bbs, hash, number) DO NOTHING",
};

// A cached statement is reset (and its values unbound) whichever way the
// step using it ends, so that it holds no read transaction open.
struct SResetOnExit {
  CStmt* s;
  ~SResetOnExit() { s->Reset(); }
};

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

// What the list entry of a message's number says (UTF-8), when there is one.
struct CMailStore::SListed {
  std::int64_t id = -1;
  std::string type, status, to, at, from, date, subject;
};

// A message's text as stored: UTF-8, where the body lies in it, and the
// CP932 bytes when converting the text back would not give them exactly.
struct CMailStore::SStoredText {
  std::string text;
  std::size_t bodyAt = 0, bodyEnd = 0;
  bool rawNeeded = false;
};

void CMailStore::Close() {
  for (auto& s : stmts_) s.reset();
  db_.Close();
}

CStmt* CMailStore::Prepared(EStmt which, StoreFault& f) {
  auto& slot = stmts_[static_cast<std::size_t>(which)];
  if (!slot) {
    auto s = std::make_unique<CStmt>(db_, kPreparedSql[static_cast<std::size_t>(which)]);
    if (!s->Ok()) {
      f = Fault(s->PrepareCode());
      return nullptr;
    }
    slot = std::move(s);
  }
  return slot.get();
}

StoreFault CMailStore::AddListEntry(std::string_view profile, std::string_view bbs, const SListEntry& e,
                                    std::int64_t now, bool* added) {
  StoreFault f;
  CStmt* s = Prepared(EStmt::InsertListEntry, f);
  if (!s) return f;
  SResetOnExit reset{s};
  s->Bind(1, profile).Bind(2, bbs).Bind(3, static_cast<std::int64_t>(e.number));
  s->Bind(4, e.type).Bind(5, e.status);
  if (e.size >= 0) s->Bind(6, static_cast<std::int64_t>(e.size)); else s->BindNull(6);
  s->Bind(7, Cp932ToUtf8(e.to)).Bind(8, Cp932ToUtf8(e.at)).Bind(9, Cp932ToUtf8(e.from));
  s->Bind(10, Cp932ToUtf8(e.date)).Bind(11, Cp932ToUtf8(e.subject)).Bind(12, now);
  int rc = s->Step();
  if (rc != SQLITE_DONE) return Fault(rc);
  const bool inserted = sqlite3_changes(db_.Get()) > 0;
  if (added) *added = inserted;
  if (inserted) return {};
  // Listed again: the BBS's status may have changed (read, forwarded).
  CStmt* u = Prepared(EStmt::UpdateListStatus, f);
  if (!u) return f;
  SResetOnExit resetU{u};
  u->Bind(1, e.status).Bind(2, profile).Bind(3, bbs).Bind(4, static_cast<std::int64_t>(e.number)).Bind(5, e.status);
  rc = u->Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

namespace {

// Blank lines around the answer are no part of it: the recorder and the
// importer cut the same text, so the same message hashes the same. Returns
// `lines` itself when there is nothing to cut, else `trimmed`.
const std::vector<std::string>& WithoutBlankEdges(const std::vector<std::string>& lines,
                                                  std::vector<std::string>& trimmed) {
  std::size_t from = 0, to = lines.size();
  while (from < to && Trim(lines[from]).empty()) ++from;
  while (to > from && Trim(lines[to - 1]).empty()) --to;
  if (from == 0 && to == lines.size()) return lines;
  trimmed.assign(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.begin() + static_cast<std::ptrdiff_t>(to));
  return trimmed;
}

}  // namespace

StoreFault CMailStore::AddMessage(const SMessageIn& m, bool* added) {
  if (added) *added = false;
  std::vector<std::string> trimmed;
  const std::vector<std::string>& lines = WithoutBlankEdges(m.lines, trimmed);
  const SParsedMessage p = ParseMessage(lines);
  const long long number = m.number >= 0 ? m.number : p.number;
  const std::int64_t hash = TextHash(lines);
  if (number < 0) {
    // No number known (an import of a format that prints none): the same
    // text stored by a run under its read command's number is this one.
    bool known = false;
    if (StoreFault f = KnownByHash(m, hash, known)) return f;
    if (known) return {};
  }
  SListed listed;
  if (StoreFault f = ListedEntry(m, number, listed)) return f;
  SStoredText t;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) t.text += '\n';
    if (i == p.bodyFrom) t.bodyAt = t.text.size();
    // ASCII is the same in CP932 and UTF-8: only other lines are converted
    // (and converted back, to see whether the bytes must be kept as well).
    if (IsAscii(lines[i])) {
      t.text += lines[i];
    } else {
      const std::string utf8 = Cp932ToUtf8(lines[i]);
      t.rawNeeded = t.rawNeeded || Utf8ToCp932(utf8) != lines[i];
      t.text += utf8;
    }
    if (i + 1 == p.bodyTo) t.bodyEnd = t.text.size();
  }
  if (p.bodyTo <= p.bodyFrom) t.bodyAt = t.bodyEnd = t.text.size();
  bool inserted = false;
  if (StoreFault f = InsertMessage(m, number, hash, p, listed, t, inserted)) return f;
  if (added) *added = inserted;
  if (!inserted || bulkFrom_ > 0) return {};
  return IndexSince(sqlite3_last_insert_rowid(db_.Get()));
}

StoreFault CMailStore::KnownByHash(const SMessageIn& m, std::int64_t hash, bool& known) {
  StoreFault f;
  CStmt* q = Prepared(EStmt::KnownByHash, f);
  if (!q) return f;
  SResetOnExit reset{q};
  q->Bind(1, m.profile).Bind(2, m.bbs).Bind(3, hash);
  const int rc = q->Step();
  known = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

// The list entry of the same number fills what the headers do not say.
StoreFault CMailStore::ListedEntry(const SMessageIn& m, long long number, SListed& out) {
  StoreFault f;
  CStmt* q = Prepared(EStmt::ListedEntry, f);
  if (!q) return f;
  SResetOnExit reset{q};
  q->Bind(1, m.profile).Bind(2, m.bbs).Bind(3, static_cast<std::int64_t>(number));
  const int rc = q->Step();
  if (rc == SQLITE_ROW) {
    out.id = q->Int(0);
    out.type = q->Text(1);
    out.status = q->Text(2);
    out.to = q->Text(3);
    out.at = q->Text(4);
    out.from = q->Text(5);
    out.date = q->Text(6);
    out.subject = q->Text(7);
    return {};
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::InsertMessage(const SMessageIn& m, long long number, std::int64_t hash,
                                     const SParsedMessage& p, const SListed& le, const SStoredText& t,
                                     bool& inserted) {
  auto pick = [](const std::string& parsed, const std::string& listed) {
    return parsed.empty() ? listed : Cp932ToUtf8(parsed);
  };
  StoreFault f;
  CStmt* s = Prepared(EStmt::InsertMessage, f);
  if (!s) return f;
  SResetOnExit reset{s};
  s->Bind(1, m.profile).Bind(2, m.bbs).Bind(3, static_cast<std::int64_t>(number));
  if (le.id >= 0) s->Bind(4, le.id); else s->BindNull(4);
  s->Bind(5, hash);
  s->Bind(6, pick(p.type, le.type)).Bind(7, pick(p.status, le.status));
  s->Bind(8, pick(p.from, le.from)).Bind(9, pick(p.to, le.to)).Bind(10, pick(p.at, le.at));
  s->Bind(11, pick(p.date, le.date)).Bind(12, pick(p.subject, le.subject));
  s->Bind(13, m.receivedAt);
  if (m.run.empty()) s->BindNull(14); else s->Bind(14, m.run);
  s->Bind(15, p.format);
  s->Bind(16, static_cast<std::int64_t>(t.bodyAt)).Bind(17, static_cast<std::int64_t>(t.bodyEnd)).Bind(18, t.text);
  std::string raw;
  if (t.rawNeeded) {
    std::vector<std::string> trimmed;
    raw = Joined(WithoutBlankEdges(m.lines, trimmed));
    s->BindBlob(19, raw);
  } else {
    s->BindNull(19);
  }
  const int rc = s->Step();
  if (rc != SQLITE_DONE) return Fault(rc);
  inserted = sqlite3_changes(db_.Get()) > 0;
  return {};
}

// The search index holds each text followed by two line feeds, so that
// every character of the text starts a trigram: a one- or two-character
// query then finds its rows through the terms that start with it. The
// same text goes in on a delete, as an external-content index needs.
StoreFault CMailStore::IndexSince(std::int64_t firstId) {
  CStmt s(db_, "INSERT INTO messages_fts(rowid, text) SELECT id, text || char(10, 10) FROM messages WHERE id >= ?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, firstId);
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::BeginBulk() {
  CStmt s(db_, "SELECT coalesce(max(id), 0) + 1 FROM messages");
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Fault(rc);
  bulkFrom_ = s.Int(0);
  return {};
}

StoreFault CMailStore::EndBulk() {
  const std::int64_t from = bulkFrom_;
  bulkFrom_ = 0;
  return from > 0 ? IndexSince(from) : StoreFault{};
}

StoreFault CMailStore::AddOutgoing(SOutgoing& o) {
  CStmt s(db_,
          "INSERT INTO outgoing(profile, bbs, to_call, at_bbs, bulletin, subject, body, file, state, slot, "
          "created_at) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, o.profile).Bind(2, o.bbs).Bind(3, o.to).Bind(4, o.at).Bind(5, o.bulletin ? 1 : 0);
  s.Bind(6, o.subject).Bind(7, o.body).Bind(8, o.file).Bind(9, o.state);
  if (o.slot >= 0) s.Bind(10, o.slot); else s.BindNull(10);
  s.Bind(11, o.createdAt);
  const int rc = s.Step();
  if (rc != SQLITE_DONE) return Fault(rc);
  o.id = sqlite3_last_insert_rowid(db_.Get());
  return {};
}

StoreFault CMailStore::MarkSent(std::string_view profile, int slot, std::string_view answerUtf8, std::int64_t when,
                                bool* found) {
  CStmt s(db_,
          "UPDATE outgoing SET state='sent', answer=?, sent_at=? WHERE id=(SELECT id FROM outgoing "
          "WHERE profile=? AND slot=? AND state='queued' ORDER BY id LIMIT 1)");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, answerUtf8).Bind(2, when).Bind(3, profile).Bind(4, slot);
  const int rc = s.Step();
  if (rc != SQLITE_DONE) return Fault(rc);
  if (found) *found = sqlite3_changes(db_.Get()) > 0;
  return {};
}

StoreFault CMailStore::List(const SQuery& q, std::vector<SMessageRow>& out) {
  out.clear();
  std::string sql = std::string("SELECT ") + kMessageColumns + " FROM messages WHERE profile=?1";
  if (!q.folder.empty()) sql += " AND folder=?2";
  if (q.unreadOnly) sql += " AND unread=1";
  if (!q.toCall.empty()) sql += " AND to_call=?3 COLLATE NOCASE";
  sql += " ORDER BY id DESC LIMIT ?4";
  CStmt s(db_, sql.c_str());
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, q.profile);
  if (!q.folder.empty()) s.Bind(2, q.folder);
  if (!q.toCall.empty()) s.Bind(3, q.toCall);
  s.Bind(4, q.limit > 0 ? q.limit : -1);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    out.emplace_back();
    ReadRow(s, out.back());
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::Find(std::string_view profile, long long number, SMessageRow& out, bool& found) {
  found = false;
  CStmt s(db_, (std::string("SELECT ") + kMessageColumns +
                ", body_at, body_end, text, raw FROM messages WHERE profile=? AND number=? ORDER BY id DESC LIMIT 1")
                   .c_str());
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile).Bind(2, static_cast<std::int64_t>(number));
  const int rc = s.Step();
  if (rc == SQLITE_ROW) {
    found = true;
    ReadRow(s, out);
    const std::string text = s.Text(19);
    const auto at = std::min<std::size_t>(static_cast<std::size_t>(s.Int(17)), text.size());
    const auto end = std::max<std::size_t>(at, std::min<std::size_t>(static_cast<std::size_t>(s.Int(18)), text.size()));
    out.headers = std::string(Trim(std::string_view(text).substr(0, at)));
    out.body = text.substr(at, end - at);
    out.raw = s.IsNull(20) ? Utf8ToCp932(text) : s.Blob(20);
    return {};
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

namespace {

constexpr const char* kSearchColumns =
    "SELECT m.id, m.profile, m.bbs, m.number, m.type, m.status, m.from_call, m.to_call, m.at_bbs, m.date, "
    "m.subject, m.folder, m.unread, m.received_at, m.read_at, m.run, m.format ";

// The first `n` characters of UTF-8 text.
std::string_view FirstCharacters(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t seen = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && seen++ == n) break;
  return s.substr(0, i);
}

}  // namespace

// How a search runs: its SQL, the MATCH text (?2, empty when none) and the
// LIKE pattern (?4) that keeps the rows holding the text itself.
struct CMailStore::SSearchPlan {
  std::string sql, match, like;
};

StoreFault CMailStore::Search(std::string_view profile, std::string_view text, int limit,
                              std::vector<SMessageRow>& out) {
  out.clear();
  if (Trim(text).empty()) return {};
  SSearchPlan plan;
  if (StoreFault f = PlanSearch(text, plan)) return f;
  if (plan.sql.empty()) return {};  // no indexed text starts with it
  CStmt s(db_, plan.sql.c_str());
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile).Bind(3, limit > 0 ? limit : -1);
  if (!plan.match.empty()) s.Bind(2, plan.match);
  if (plan.sql.find("?4") != std::string::npos) s.Bind(4, plan.like);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    out.emplace_back();
    ReadRow(s, out.back());
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::PlanSearch(std::string_view text, SSearchPlan& plan) {
  plan.like = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') plan.like += '\\';
    plan.like += c;
  }
  plan.like += '%';
  const bool wild = text.find_first_of("%_\\") != std::string_view::npos;
  if (Utf8Length(text) >= 3 && !wild) {
    // The trigram index finds the rows holding every trigram of the text;
    // LIKE on the index keeps those that hold the text itself.
    plan.match = "%" + std::string(text) + "%";
    plan.sql = std::string(kSearchColumns) +
               "FROM messages_fts f CROSS JOIN messages m ON m.id = f.rowid "
               "WHERE f.text LIKE ?2 AND m.profile = ?1 ORDER BY m.id DESC LIMIT ?3";
    return {};
  }
  // Trigrams need three characters (and the index's LIKE takes no escaped
  // wildcards). Every occurrence of the text starts some indexed trigram
  // that begins with its first three characters or fewer: the rows holding
  // any such term are the candidates, and LIKE scans only those.
  std::string lower(FirstCharacters(text, 3));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  int count = 0;
  if (StoreFault f = TermsStartingWith(lower, plan.match, count)) return f;
  if (count == 0) return {};
  if (count > kMaxSearchTerms) {
    // So common a text: the plain scan is the quicker way.
    plan.match.clear();
    plan.sql = std::string(kSearchColumns) +
               "FROM messages m WHERE m.profile = ?1 AND m.text LIKE ?4 ESCAPE '\\' ORDER BY m.id DESC LIMIT ?3";
  } else {
    plan.sql = std::string(kSearchColumns) +
               "FROM messages_fts f CROSS JOIN messages m ON m.id = f.rowid "
               "WHERE messages_fts MATCH ?2 AND m.profile = ?1 AND m.text LIKE ?4 ESCAPE '\\' "
               "ORDER BY m.id DESC LIMIT ?3";
  }
  return {};
}

// The index's terms that start with `prefix`, as one MATCH text ("a" OR
// "b" ...); `count` is how many (kMaxSearchTerms + 1 at most).
StoreFault CMailStore::TermsStartingWith(const std::string& prefix, std::string& match, int& count) {
  CStmt terms(db_, "SELECT term FROM messages_terms WHERE term >= ?1 AND term < ?1 || char(1114111) LIMIT ?2");
  if (!terms.Ok()) return Fault(terms.PrepareCode());
  terms.Bind(1, prefix).Bind(2, kMaxSearchTerms + 1);
  match.clear();
  count = 0;
  int rc;
  while ((rc = terms.Step()) == SQLITE_ROW) {
    if (!match.empty()) match += " OR ";
    match += '"';
    for (char c : terms.Text(0)) {
      if (c == '"') match += '"';
      match += c;
    }
    match += '"';
    ++count;
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::MarkRead(std::int64_t id, std::int64_t when) {
  CStmt s(db_, "UPDATE messages SET unread=0, read_at=? WHERE id=? AND unread=1");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, when).Bind(2, id);
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::SetFolder(std::int64_t id, std::string_view folder) {
  CStmt s(db_, "UPDATE messages SET folder=? WHERE id=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, folder).Bind(2, id);
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::Outgoing(std::string_view profile, std::vector<SOutgoing>& out) {
  out.clear();
  CStmt s(db_,
          "SELECT id, profile, bbs, to_call, at_bbs, bulletin, subject, body, file, state, slot, answer, "
          "created_at, sent_at FROM outgoing WHERE profile=? ORDER BY id");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    SOutgoing o;
    o.id = s.Int(0);
    o.profile = s.Text(1);
    o.bbs = s.Text(2);
    o.to = s.Text(3);
    o.at = s.Text(4);
    o.bulletin = s.Int(5) != 0;
    o.subject = s.Text(6);
    o.body = s.Text(7);
    o.file = s.Text(8);
    o.state = s.Text(9);
    o.slot = s.IsNull(10) ? -1 : static_cast<int>(s.Int(10));
    o.answer = s.Text(11);
    o.createdAt = s.Int(12);
    o.sentAt = s.Int(13);
    out.push_back(std::move(o));
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::ClearReceived(std::string_view profile) {
  for (const char* sql : {"INSERT INTO messages_fts(messages_fts, rowid, text) "
                          "SELECT 'delete', id, text || char(10, 10) FROM messages WHERE profile=?",
                          "DELETE FROM messages WHERE profile=?", "DELETE FROM list_entries WHERE profile=?"}) {
    CStmt s(db_, sql);
    if (!s.Ok()) return Fault(s.PrepareCode());
    s.Bind(1, profile);
    const int rc = s.Step();
    if (rc != SQLITE_DONE) return Fault(rc);
  }
  return {};
}

StoreFault CMailStore::CountMessages(std::string_view profile, long long& count) {
  CStmt s(db_, "SELECT count(*) FROM messages WHERE profile=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile);
  const int rc = s.Step();
  if (rc != SQLITE_ROW) return Fault(rc);
  count = s.Int(0);
  return {};
}

}  // namespace nami::mailbox
