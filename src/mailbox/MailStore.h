// The local mailbox: every list entry, message read and outgoing message of
// a profile, kept in one SQLite file ("mailbox.sqlite" beside NAMI.INI).
// The list and mail logs stay the record; this store is filled from what
// they receive and can always be rebuilt from them.
//
// Text columns hold UTF-8 (converted from the CP932 the BBS sent). A
// message's whole text is kept as UTF-8 with the place of its body; its
// CP932 bytes are kept as well when converting the text back would not give
// them exactly, so the bytes as received can always be had. Every failure
// comes back as a StoreFault (kind, SQLite code, errno, file); nothing here
// throws.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mailbox/Recognise.h"
#include "mailbox/Sqlite.h"

namespace nami::mailbox {

enum class FaultKind { None, CannotOpen, ReadOnly, Full, Locked, Corrupt, Io, Other };

struct StoreFault {
  FaultKind kind = FaultKind::None;
  int code = 0;       // SQLite's extended result code
  int sysErrno = 0;   // the system's errno behind it, when SQLite knows one
  std::string path;   // the store file
  std::string detail;  // SQLite's own words
  explicit operator bool() const { return kind != FaultKind::None; }
  // One sentence naming the file and the reason (UTF-8).
  std::string Text() const;
};

// One line of a BBS list, taken apart (CP932 fields as received).
struct SListEntry {
  long long number = -1;
  std::string type, status;
  long long size = -1;
  std::string to, at, from, date, subject;
  std::string line;  // the whole line (not stored: the list log keeps it)
};
// False for a line that is no numbered list entry (a header, a prompt).
bool ParseListLine(std::string_view line, SListEntry& out);

// A message read, as the recorder or the importer hands it over.
struct SMessageIn {
  std::string profile;   // UTF-8
  std::string bbs;       // the BBS call
  long long number = -1;  // from the read command or the headers; -1 unknown
  std::vector<std::string> lines;  // what the BBS printed (CP932, no line ends)
  std::string run;        // which run read it (a time stamp), empty for imports
  std::int64_t receivedAt = 0;
};

struct SMessageRow {
  std::int64_t id = 0;
  std::string profile, bbs;
  long long number = -1;
  std::string type, status, from, to, at, date, subject;  // UTF-8
  std::string folder;
  bool unread = true;
  std::int64_t receivedAt = 0, readAt = 0;
  std::string run, format;
  std::string headers, body;  // UTF-8; filled by Find only
  std::string raw;            // CP932 as received; filled by Find only
};

struct SOutgoing {
  std::int64_t id = 0;
  std::string profile, bbs;
  std::string to, at;
  bool bulletin = false;
  std::string subject, body;  // UTF-8
  std::string file;           // the mail file (file-system path)
  std::string state;          // "draft", "queued", "sent"
  int slot = -1;              // queued in sendN (0 .. 4)
  std::string answer;         // the BBS's answer line when sent (UTF-8)
  std::int64_t createdAt = 0, sentAt = 0;
};

// One row of the mailbox window's lists: a message, a list entry or an
// outgoing message, with the columns the list shows (UTF-8).
enum class HeaderTable { Messages, ListEntries, Outgoing };
struct SHeaderRow {
  std::int64_t id = 0;
  long long number = -1;  // an outgoing message: its sendN (1 .. 5) while queued
  std::string type, to, at, from, date, subject;
  long long size = -1;
  bool unread = false;
  bool marked = false;  // a list entry marked to be read by the next run
  bool read = false;    // a list entry whose message is stored
};

// Which rows a list of the window shows, and in which order.
struct SViewQuery {
  std::string profile;
  HeaderTable table = HeaderTable::Messages;
  std::string folder;  // messages: "inbox", "trash"
  std::string toCall;  // messages: only those to this call
  bool unreadOnly = false;
  std::string state;  // outgoing: "queued", "sent", "draft"
  int sortColumn = -1;  // 0 number, 1 type, 2 to, 3 @BBS, 4 from, 5 date, 6 subject, 7 size; -1 as stored
  bool descending = true;
  int limit = 0;  // > 0: only the first rows (the first screen)
};

struct SFolderCounts {
  long long inbox = 0, inboxUnread = 0, toMe = 0, toMeUnread = 0, trash = 0, trashUnread = 0;
  long long listEntries = 0, marked = 0, queued = 0, sent = 0, drafts = 0;
};

struct SQuery {
  std::string profile;
  bool unreadOnly = false;
  std::string toCall;  // only messages to this call
  std::string folder;  // empty: every folder
  int limit = 200;
};

class CMailStore {
 public:
  static constexpr int kSchemaVersion = 2;
  // "mailbox.sqlite" in the folder of the settings file.
  static std::string PathBeside(const std::string& iniPath);

  explicit CMailStore(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  bool IsOpen() const { return db_.IsOpen(); }

  // Opens (creating the file when missing) and brings the schema up to
  // date. A file that is not a database or fails the quick check is left
  // as it is and reported Corrupt: SetAside() then moves it away.
  StoreFault Open();
  // Opens for reading only, writing nothing: no file is created, no -wal
  // or -shm file made (a list or search works in a read-only folder). A
  // store that does not exist yet is no fault: `missing` is set and the
  // store stays closed. A store of an older schema is upgraded first when
  // it can be written. With `shared`, SQLite's usual read-only connection,
  // which reads the changes a running writer keeps in its -wal file.
  StoreFault OpenForReading(bool& missing, bool shared = false);
  // After reading from a store opened without `shared`: whether another
  // process began writing it meanwhile (then read again, shared).
  bool ChangedWhileRead() const;
  // When the -wal file of a store opened for reading holds changes that
  // cannot be read here (a read-only folder without the -shm file): the
  // store is read as of its last checkpoint, and this says so.
  const std::string& ReadingNote() const { return readingNote_; }
  void Close();
  // Renames a damaged store (with its -wal and -shm files) to
  // "<name>.corrupt-YYYYMMDD-HHMMSS"; `movedTo` gets the new name.
  StoreFault SetAside(std::string& movedTo);

  // One write transaction (BEGIN IMMEDIATE, so a second process waits for
  // the lock instead of failing half-way).
  StoreFault Begin();
  StoreFault Commit();
  void Rollback();

  StoreFault AddListEntry(std::string_view profile, std::string_view bbs, const SListEntry& e, std::int64_t now,
                          bool* added = nullptr);
  // Adds the message unless the same BBS, number and text are already
  // stored; joined to its list entry by number.
  StoreFault AddMessage(const SMessageIn& m, bool* added = nullptr);
  // Many messages in one go (an import): the search index takes them all
  // at EndBulk(), inside the same transaction, which is far quicker than
  // one by one.
  StoreFault BeginBulk();
  StoreFault EndBulk();
  StoreFault AddOutgoing(SOutgoing& o);
  // The queued message of sendN went out: state "sent", the answer and time.
  StoreFault MarkSent(std::string_view profile, int slot, std::string_view answerUtf8, std::int64_t when,
                      bool* found = nullptr);

  StoreFault List(const SQuery& q, std::vector<SMessageRow>& out);
  // The newest message stored under `number`.
  StoreFault Find(std::string_view profile, long long number, SMessageRow& out, bool& found);
  // The messages whose text (headers and body, so subject, from and to as
  // well) contains `textUtf8`, ASCII letter case ignored, newest first: the
  // trigram index for three characters or more, a LIKE scan for one or two.
  StoreFault Search(std::string_view profile, std::string_view textUtf8, int limit, std::vector<SMessageRow>& out);
  StoreFault MarkRead(std::int64_t id, std::int64_t when);
  StoreFault SetFolder(std::int64_t id, std::string_view folder);
  StoreFault Outgoing(std::string_view profile, std::vector<SOutgoing>& out);
  // Forgets the profile's list entries and messages (outgoing ones stay).
  StoreFault ClearReceived(std::string_view profile);
  StoreFault CountMessages(std::string_view profile, long long& count);

  // ---- The mailbox window's views (MailStoreViews.cpp) ----
  // Makes the read marks' table and the index the folder counts read (once
  // per store; a large store takes a moment the first time), and keeps this
  // connection's page cache to `cacheKb` (0: as it is).
  StoreFault PrepareViews(int cacheKb = 0);
  // Every folder's count; `myCall` picks the messages to the station.
  StoreFault FolderCounts(std::string_view profile, std::string_view myCall, SFolderCounts& out);
  // The ids of a view's rows in its order: the list keeps only these and
  // fetches the rows it shows by id.
  StoreFault ViewIds(const SViewQuery& q, std::vector<std::int64_t>& ids);
  // The rows of `ids`, in the order of `ids` (an id gone meanwhile is left out).
  StoreFault HeadersByIds(HeaderTable table, const std::int64_t* ids, std::size_t count, std::vector<SHeaderRow>& out);
  // A message with its headers, body and bytes, by its id.
  StoreFault FindById(std::int64_t id, SMessageRow& out, bool& found);
  StoreFault FindOutgoing(std::int64_t id, SOutgoing& out, bool& found);
  // Changes an outgoing message (state, slot, file and its fields) or forgets it.
  StoreFault UpdateOutgoing(const SOutgoing& o);
  StoreFault DeleteOutgoing(std::int64_t id);
  // List entries marked to be read by the next run, kept per profile.
  StoreFault SetMarked(std::string_view profile, long long number, bool on);
  StoreFault MarkedNumbers(std::string_view profile, std::vector<long long>& out);
  // The newest stored message of `number` (its id), 0 when none.
  StoreFault MessageIdOf(std::string_view profile, long long number, std::int64_t& id);
  // Changes whenever another connection (another process, or the run's
  // recorder) commits to the store; 0 when it cannot be read.
  std::int64_t DataVersion();

 private:
  // The statements run for every message of an import or a run, prepared
  // once per connection.
  enum class EStmt { InsertListEntry, UpdateListStatus, KnownByHash, ListedEntry, InsertMessage, Count };
  struct SListed;
  struct SStoredText;
  struct SSearchPlan;
  // A short text's candidates come from at most this many index terms.
  static constexpr int kMaxSearchTerms = 5000;
  StoreFault PlanSearch(std::string_view text, SSearchPlan& plan);
  StoreFault TermsStartingWith(const std::string& prefix, std::string& match, int& count);
  CStmt* Prepared(EStmt which, StoreFault& f);
  StoreFault Fault(int rc) const;
  StoreFault Migrate();
  StoreFault SchemaVersion(int& version);
  StoreFault CheckFile(int version);
  StoreFault EnterWal();
  StoreFault TouchSchema();
  StoreFault Upgrade();
  StoreFault OpenReadOnly(bool immutable);
  struct SFileStamp {
    bool exists = false;
    long long size = 0, mtimeNs = 0, inode = 0;
    bool operator==(const SFileStamp&) const = default;
  };
  static SFileStamp Stamp(const std::string& path);
  bool immutable_ = false;  // opened for reading, without SQLite's locks
  SFileStamp stampAtOpen_;
  std::string readingNote_;
  StoreFault IndexSince(std::int64_t firstId);
  StoreFault KnownByHash(const SMessageIn& m, std::int64_t hash, bool& known);
  StoreFault ListedEntry(const SMessageIn& m, long long number, SListed& out);
  StoreFault InsertMessage(const SMessageIn& m, long long number, std::int64_t hash, const SParsedMessage& p,
                           const SListed& le, const SStoredText& t, bool& inserted);
  std::int64_t bulkFrom_ = 0;  // the first id added in bulk; 0 outside
  CSqlDb db_;
  std::array<std::unique_ptr<CStmt>, static_cast<std::size_t>(EStmt::Count)> stmts_;
  std::string path_;
};

// Runs `fn` in one transaction: committed when it returns no fault, rolled
// back otherwise.
template <class Fn>
StoreFault InTransaction(CMailStore& store, Fn&& fn) {
  if (StoreFault f = store.Begin()) return f;
  StoreFault f = fn();
  if (f) {
    store.Rollback();
    return f;
  }
  return store.Commit();
}

// The 64-bit FNV-1a hash of a message's text (its lines joined by LF).
std::int64_t TextHash(const std::vector<std::string>& lines);

}  // namespace nami::mailbox
