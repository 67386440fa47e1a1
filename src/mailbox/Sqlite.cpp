#include "mailbox/Sqlite.h"

namespace nami::mailbox {

int CSqlDb::Open(const std::string& path, int flags) {
  Close();
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) Close();
  if (db_) sqlite3_extended_result_codes(db_, 1);
  return rc;
}

void CSqlDb::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

int CSqlDb::Exec(const char* sql) { return db_ ? sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) : SQLITE_MISUSE; }

CStmt::CStmt(const CSqlDb& db, const char* sql) {
  prepareCode_ = db.Get() ? sqlite3_prepare_v2(db.Get(), sql, -1, &st_, nullptr) : SQLITE_MISUSE;
  if (prepareCode_ != SQLITE_OK) {
    sqlite3_finalize(st_);
    st_ = nullptr;
  }
}

}  // namespace nami::mailbox
