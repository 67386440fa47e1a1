// Small owning wrappers over SQLite's C API: one connection, one prepared
// statement. Values are always bound, never spliced into SQL text.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace nami::mailbox {

class CSqlDb {
 public:
  CSqlDb() = default;
  ~CSqlDb() { Close(); }
  CSqlDb(const CSqlDb&) = delete;
  CSqlDb& operator=(const CSqlDb&) = delete;

  // SQLITE_OK or the result code of sqlite3_open_v2.
  int Open(const std::string& path, int flags);
  void Close();
  sqlite3* Get() const { return db_; }
  bool IsOpen() const { return db_ != nullptr; }
  // Runs statements without results; the SQLite result code.
  int Exec(const char* sql);
  std::string ErrorText() const { return db_ ? sqlite3_errmsg(db_) : "no database"; }
  int ErrorCode() const { return db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN; }

 private:
  sqlite3* db_ = nullptr;
};

class CStmt {
 public:
  CStmt(const CSqlDb& db, const char* sql);
  ~CStmt() { sqlite3_finalize(st_); }
  CStmt(const CStmt&) = delete;
  CStmt& operator=(const CStmt&) = delete;

  bool Ok() const { return st_ != nullptr; }
  int PrepareCode() const { return prepareCode_; }
  CStmt& Bind(int i, std::string_view text) {
    sqlite3_bind_text(st_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  CStmt& Bind(int i, const char* text) { return Bind(i, std::string_view(text)); }
  CStmt& Bind(int i, const std::string& text) { return Bind(i, std::string_view(text)); }
  CStmt& Bind(int i, std::int64_t v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  CStmt& Bind(int i, int v) { return Bind(i, static_cast<std::int64_t>(v)); }
  CStmt& BindBlob(int i, std::string_view bytes) {
    sqlite3_bind_blob(st_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  CStmt& BindNull(int i) {
    sqlite3_bind_null(st_, i);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return st_ ? sqlite3_step(st_) : prepareCode_; }
  void Reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  std::string Text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, col))) : std::string();
  }
  std::string Blob(int col) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, col))) : std::string();
  }
  std::int64_t Int(int col) const { return sqlite3_column_int64(st_, col); }
  bool IsNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }

 private:
  sqlite3_stmt* st_ = nullptr;
  int prepareCode_ = SQLITE_OK;
};

}  // namespace nami::mailbox
