// The mailbox window's queries: folder counts, the ids of a list in its
// order, rows fetched by id a page at a time, the read marks of list
// entries and changes to outgoing messages.
#include <algorithm>
#include <ctime>
#include <string>

#include "mailbox/MailStore.h"
#include "text/Cp932.h"

namespace nami::mailbox {
namespace {

// The read marks live in a table of their own, made when first needed, so
// a store written by an older nami gains it without a schema step.
constexpr const char* kMarksTable =
    "CREATE TABLE IF NOT EXISTS read_marks(profile TEXT NOT NULL, number INTEGER NOT NULL, "
    "PRIMARY KEY(profile, number))";

// The folder counts read this index alone instead of every message's row
// (which holds its whole text): made when first needed, like the marks.
constexpr const char* kCountsIndex =
    "CREATE INDEX IF NOT EXISTS messages_counts ON messages(profile, folder, unread, to_call)";

// The columns each table shows, in the list's column order.
const char* const kMessageSort[] = {"number", "type", "to_call", "at_bbs", "from_call", "date", "subject",
                                    "(body_end - body_at)"};
const char* const kListSort[] = {"number", "type", "to_call", "at_bbs", "from_call", "date", "subject", "size"};
const char* const kOutgoingSort[] = {"slot", "bulletin", "to_call", "at_bbs", "profile", "created_at", "subject",
                                     "length(body)"};

std::string OrderBy(const SViewQuery& q) {
  const char* const* columns = q.table == HeaderTable::Messages      ? kMessageSort
                               : q.table == HeaderTable::ListEntries ? kListSort
                                                                     : kOutgoingSort;
  const char* dir = q.descending ? " DESC" : " ASC";
  if (q.sortColumn < 0 || q.sortColumn > 7) return std::string(" ORDER BY id") + dir;
  return std::string(" ORDER BY ") + columns[q.sortColumn] + " COLLATE NOCASE" + dir + ", id" + dir;
}

std::string DateOf(std::int64_t t) {
  char buf[32];
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  std::strftime(buf, sizeof buf, "%y%m%d/%H%M", &tm);
  return buf;
}

}  // namespace

StoreFault CMailStore::PrepareViews(int cacheKb) {
  for (const char* sql : {kMarksTable, kCountsIndex}) {
    const int rc = db_.Exec(sql);
    // A store this process may only read is shown as it is.
    if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return Fault(rc);
  }
  if (cacheKb > 0) db_.Exec(("PRAGMA cache_size=-" + std::to_string(cacheKb)).c_str());
  return {};
}

StoreFault CMailStore::FolderCounts(std::string_view profile, std::string_view myCall, SFolderCounts& out) {
  out = {};
  {
    CStmt s(db_,
            "SELECT folder, count(*), total(unread), total(to_call = ?2 COLLATE NOCASE), "
            "total(unread AND to_call = ?2 COLLATE NOCASE) FROM messages WHERE profile=?1 "
            "GROUP BY folder");
    if (!s.Ok()) return Fault(s.PrepareCode());
    s.Bind(1, profile).Bind(2, myCall);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) {
      const std::string folder = s.Text(0);
      const long long unread = s.Int(2);
      if (folder == "trash") {
        out.trash = s.Int(1);
        out.trashUnread = unread;
      } else {
        out.inbox += s.Int(1);
        out.inboxUnread += unread;
        out.toMe += s.Int(3);
        out.toMeUnread += s.Int(4);
      }
    }
    if (rc != SQLITE_DONE) return Fault(rc);
  }
  if (int rc = db_.Exec(kMarksTable); rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return Fault(rc);
  {
    CStmt s(db_, "SELECT (SELECT count(*) FROM list_entries WHERE profile=?1), "
                 "(SELECT count(*) FROM read_marks WHERE profile=?1)");
    if (!s.Ok()) return Fault(s.PrepareCode());
    s.Bind(1, profile);
    const int rc = s.Step();
    if (rc != SQLITE_ROW) return Fault(rc);
    out.listEntries = s.Int(0);
    out.marked = s.Int(1);
  }
  CStmt s(db_, "SELECT state, count(*) FROM outgoing WHERE profile=? GROUP BY state");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    const std::string state = s.Text(0);
    if (state == "queued") out.queued = s.Int(1);
    else if (state == "sent") out.sent = s.Int(1);
    else if (state == "draft") out.drafts = s.Int(1);
  }
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::ViewIds(const SViewQuery& q, std::vector<std::int64_t>& ids) {
  ids.clear();
  std::string sql;
  switch (q.table) {
    case HeaderTable::Messages:
      sql = "SELECT id FROM messages WHERE profile=?1";
      if (!q.folder.empty()) sql += " AND folder=?2";
      if (!q.toCall.empty()) sql += " AND to_call=?3 COLLATE NOCASE";
      if (q.unreadOnly) sql += " AND unread=1";
      break;
    case HeaderTable::ListEntries: sql = "SELECT id FROM list_entries WHERE profile=?1"; break;
    case HeaderTable::Outgoing: sql = "SELECT id FROM outgoing WHERE profile=?1 AND state=?4"; break;
  }
  sql += OrderBy(q);
  if (q.limit > 0) sql += " LIMIT " + std::to_string(q.limit);
  CStmt s(db_, sql.c_str());
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, q.profile);
  if (sql.find("?2") != std::string::npos) s.Bind(2, q.folder);
  if (sql.find("?3") != std::string::npos) s.Bind(3, q.toCall);
  if (sql.find("?4") != std::string::npos) s.Bind(4, q.state);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) ids.push_back(s.Int(0));
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::HeadersByIds(HeaderTable table, const std::int64_t* ids, std::size_t count,
                                    std::vector<SHeaderRow>& out) {
  out.clear();
  if (count == 0) return {};
  const char* sql = nullptr;
  switch (table) {
    case HeaderTable::Messages:
      sql = "SELECT id, number, type || coalesce(status, ''), to_call, at_bbs, from_call, date, subject, "
            "body_end - body_at, unread, 0, 1 FROM messages WHERE id=?";
      break;
    case HeaderTable::ListEntries:
      sql = "SELECT l.id, l.number, l.type || coalesce(l.status, ''), l.to_call, l.at_bbs, l.from_call, l.date, "
            "l.subject, l.size, 0, EXISTS(SELECT 1 FROM read_marks r WHERE r.profile=l.profile AND r.number=l.number), "
            "EXISTS(SELECT 1 FROM messages m WHERE m.profile=l.profile AND m.number=l.number) "
            "FROM list_entries l WHERE l.id=?";
      break;
    case HeaderTable::Outgoing:
      sql = "SELECT id, coalesce(slot + 1, -1), CASE bulletin WHEN 1 THEN 'B' ELSE 'P' END, to_call, at_bbs, '', "
            "created_at, subject, length(CAST(body AS BLOB)), 0, 0, 0 FROM outgoing WHERE id=?";
      break;
  }
  if (table == HeaderTable::ListEntries) {
    if (int rc = db_.Exec(kMarksTable); rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return Fault(rc);
  }
  CStmt s(db_, sql);
  if (!s.Ok()) return Fault(s.PrepareCode());
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    s.Reset();
    s.Bind(1, ids[i]);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) continue;
    if (rc != SQLITE_ROW) return Fault(rc);
    SHeaderRow r;
    r.id = s.Int(0);
    r.number = s.Int(1);
    r.type = s.Text(2);
    r.to = s.Text(3);
    r.at = s.Text(4);
    r.from = s.Text(5);
    r.date = table == HeaderTable::Outgoing ? DateOf(s.Int(6)) : s.Text(6);
    r.subject = s.Text(7);
    r.size = s.IsNull(8) ? -1 : s.Int(8);
    r.unread = s.Int(9) != 0;
    r.marked = s.Int(10) != 0;
    r.read = s.Int(11) != 0;
    out.push_back(std::move(r));
  }
  return {};
}

StoreFault CMailStore::FindById(std::int64_t id, SMessageRow& out, bool& found) {
  found = false;
  CStmt s(db_,
          "SELECT id, profile, bbs, number, type, status, from_call, to_call, at_bbs, date, subject, folder, unread, "
          "received_at, read_at, run, format, body_at, body_end, text, raw FROM messages WHERE id=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, id);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return {};
  if (rc != SQLITE_ROW) return Fault(rc);
  found = true;
  out = SMessageRow{};
  out.id = s.Int(0);
  out.profile = s.Text(1);
  out.bbs = s.Text(2);
  out.number = s.Int(3);
  out.type = s.Text(4);
  out.status = s.Text(5);
  out.from = s.Text(6);
  out.to = s.Text(7);
  out.at = s.Text(8);
  out.date = s.Text(9);
  out.subject = s.Text(10);
  out.folder = s.Text(11);
  out.unread = s.Int(12) != 0;
  out.receivedAt = s.Int(13);
  out.readAt = s.Int(14);
  out.run = s.Text(15);
  out.format = s.Text(16);
  const std::string text = s.Text(19);
  const auto at = std::min<std::size_t>(static_cast<std::size_t>(s.Int(17)), text.size());
  const auto end = std::max<std::size_t>(at, std::min<std::size_t>(static_cast<std::size_t>(s.Int(18)), text.size()));
  out.headers = std::string(Trim(std::string_view(text).substr(0, at)));
  out.body = text.substr(at, end - at);
  out.raw = s.IsNull(20) ? Utf8ToCp932(text) : s.Blob(20);
  return {};
}

StoreFault CMailStore::FindOutgoing(std::int64_t id, SOutgoing& o, bool& found) {
  found = false;
  CStmt s(db_,
          "SELECT id, profile, bbs, to_call, at_bbs, bulletin, subject, body, file, state, slot, answer, "
          "created_at, sent_at FROM outgoing WHERE id=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, id);
  const int rc = s.Step();
  if (rc == SQLITE_DONE) return {};
  if (rc != SQLITE_ROW) return Fault(rc);
  found = true;
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
  return {};
}

StoreFault CMailStore::UpdateOutgoing(const SOutgoing& o) {
  CStmt s(db_,
          "UPDATE outgoing SET bbs=?, to_call=?, at_bbs=?, bulletin=?, subject=?, body=?, file=?, state=?, slot=? "
          "WHERE id=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, o.bbs).Bind(2, o.to).Bind(3, o.at).Bind(4, o.bulletin ? 1 : 0).Bind(5, o.subject).Bind(6, o.body);
  s.Bind(7, o.file).Bind(8, o.state);
  if (o.slot >= 0) s.Bind(9, o.slot); else s.BindNull(9);
  s.Bind(10, o.id);
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::DeleteOutgoing(std::int64_t id) {
  CStmt s(db_, "DELETE FROM outgoing WHERE id=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, id);
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::SetMarked(std::string_view profile, long long number, bool on) {
  if (int rc = db_.Exec(kMarksTable); rc != SQLITE_OK) return Fault(rc);
  CStmt s(db_, on ? "INSERT OR IGNORE INTO read_marks(profile, number) VALUES (?, ?)"
                  : "DELETE FROM read_marks WHERE profile=? AND number=?");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile).Bind(2, static_cast<std::int64_t>(number));
  const int rc = s.Step();
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::MarkedNumbers(std::string_view profile, std::vector<long long>& out) {
  out.clear();
  if (int rc = db_.Exec(kMarksTable); rc != SQLITE_OK && (rc & 0xFF) != SQLITE_READONLY) return Fault(rc);
  CStmt s(db_, "SELECT number FROM read_marks WHERE profile=? ORDER BY number");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) out.push_back(s.Int(0));
  return rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

StoreFault CMailStore::MessageIdOf(std::string_view profile, long long number, std::int64_t& id) {
  id = 0;
  CStmt s(db_, "SELECT id FROM messages WHERE profile=? AND number=? ORDER BY id DESC LIMIT 1");
  if (!s.Ok()) return Fault(s.PrepareCode());
  s.Bind(1, profile).Bind(2, static_cast<std::int64_t>(number));
  const int rc = s.Step();
  if (rc == SQLITE_ROW) id = s.Int(0);
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? StoreFault{} : Fault(rc);
}

std::int64_t CMailStore::DataVersion() {
  if (!db_.IsOpen()) return 0;
  CStmt s(db_, "PRAGMA data_version");
  return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

}  // namespace nami::mailbox
