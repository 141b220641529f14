#include "engine/Sqlite.h"

#include <sqlite3.h>

#include "engine/DaoException.h"
#include "engine/TextCollation.h"

namespace vorlix {

void ThrowSqlite(sqlite3* db, int rc) {
  const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      ThrowDao(dao_error::kTableInUse, "The database is in use by another user: " + detail);
    case SQLITE_READONLY:
      ThrowDao(dao_error::kReadOnly, "The database is read-only: " + detail);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      ThrowDao(dao_error::kNotADatabase, "The file is not a database: " + detail);
    case SQLITE_CONSTRAINT:
      switch (rc) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
          ThrowDao(dao_error::kDuplicateValue, "A unique index would hold duplicates: " + detail);
        case SQLITE_CONSTRAINT_FOREIGNKEY:
          ThrowDao(dao_error::kRelatedRecordRequired, "A related record is required: " + detail);
        case SQLITE_CONSTRAINT_NOTNULL:
          ThrowDao(dao_error::kRequiredIsNull, "A required field is Null: " + detail);
      }
      break;
  }
  ThrowDao(dao_error::kEngineFailure, "The database engine failed: " + detail);
}

Statement::Statement(Statement&& other) noexcept : stmt_(other.stmt_), cached_(other.cached_) {
  other.stmt_ = nullptr;
}

Statement::~Statement() {
  if (!stmt_) return;
  if (cached_) {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  } else {
    sqlite3_finalize(stmt_);
  }
}

Statement& Statement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  int rc =
      sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
  return *this;
}

Statement& Statement::BindNull(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // sqlite3_step's extended code is only reported by the connection after a reset.
  sqlite3* db = sqlite3_db_handle(stmt_);
  sqlite3_reset(stmt_);
  ThrowSqlite(db, sqlite3_extended_errcode(db));
}

void Statement::Run() {
  while (Step()) {
  }
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return std::string();
  return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column));
}

SqliteDb::SqliteDb(const std::string& path, int flags) {
  // A connection is used by one thread at a time (the server calls every object on its one
  // thread), so SQLite's mutex per connection would only cost a lock for every value read.
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    ThrowDao(dao_error::kEngineFailure, "Cannot open " + Quoted(path) + ": " + detail);
  }
  // The engine declares Text and Memo fields with the general sort order, so every connection
  // needs it, for the files it attaches too.
  TextOrder* order = TextOrder::New();
  rc = order ? sqlite3_create_collation_v2(db_, kTextCollation, SQLITE_UTF8, order, CompareText,
                                           DestroyTextOrder)
             : SQLITE_NOMEM;
  if (rc != SQLITE_OK) {
    // SQLite does not destroy the argument of a collation it failed to register.
    DestroyTextOrder(order);
    sqlite3_close(db_);
    db_ = nullptr;
    ThrowDao(dao_error::kEngineFailure, "The general sort order is not available for " +
                                            Quoted(path) + ": " + sqlite3_errstr(rc));
  }
}

SqliteDb::~SqliteDb() {
  for (auto& [sql, stmt] : cache_)
    sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

Statement SqliteDb::Cached(std::string_view sql) {
  auto it = cache_.find(std::string(sql));
  if (it != cache_.end()) return Statement(it->second, true);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  cache_.emplace(std::string(sql), stmt);
  return Statement(stmt, true);
}

Statement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  return Statement(stmt, false);
}

void SqliteDb::Exec(const std::string& sql) {
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, sqlite3_extended_errcode(db_));
}

int64_t SqliteDb::QueryInt(const std::string& sql) {
  Statement stmt = Prepare(sql);
  return stmt.Step() ? stmt.Int(0) : 0;
}

bool SqliteDb::InTransaction() const {
  return !sqlite3_get_autocommit(db_);
}

int64_t SqliteDb::Changes() const {
  return sqlite3_changes64(db_);
}

WriteTransaction::WriteTransaction(SqliteDb& db) : db_(db), done_(db.InTransaction()) {
  if (!done_) db_.Exec("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction() {
  if (!done_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::Commit() {
  if (done_) return;
  db_.Exec("COMMIT");
  done_ = true;
}

}  // namespace vorlix
