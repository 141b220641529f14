// A thin layer over the SQLite C API: a connection that keeps its prepared statements for
// reuse, statements with typed binding and reading, a transaction guard, and the translation
// of SQLite failures into CDaoException.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace vorlix {

// Raises the CDaoException for SQLite result code rc on db (busy, read-only, constraint,
// not-a-database ... each get their code; anything else the generic engine failure).
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc);

class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  // A one-off statement is finalized; a cached one is reset and its bindings cleared.
  ~Statement();

  // Parameters count from 1, as in SQL text.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindNull(int index);

  // Advances to the next row: true when there is one, false when the statement is done.
  bool Step();
  // Steps to the end, for statements that return no rows.
  void Run();

  bool IsNull(int column) const;
  int64_t Int(int column) const;
  std::string Text(int column) const;  // "" for NULL

  // For reading and binding what the typed calls above do not cover.
  sqlite3_stmt* handle() const { return stmt_; }

 private:
  friend class SqliteDb;
  Statement(sqlite3_stmt* stmt, bool cached) : stmt_(stmt), cached_(cached) {}

  sqlite3_stmt* stmt_;
  bool cached_;
};

class SqliteDb {
 public:
  // Opens path with SQLITE_OPEN_* flags. The caller maps open failures itself (their meaning
  // depends on what was asked), so this throws the plain translation of the result code. The
  // connection must be used by one thread at a time.
  SqliteDb(const std::string& path, int flags);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* handle() const { return db_; }

  // sql prepared once per connection and kept; the returned statement is reset when it goes.
  // For statements run again and again (schema reads, catalog look-ups).
  Statement Cached(std::string_view sql);
  // sql prepared for one use (statements built around names).
  Statement Prepare(std::string_view sql);
  // Runs one or more statements that return no rows.
  void Exec(const std::string& sql);
  // The first column of the first row of a one-off statement, 0 when there is no row.
  int64_t QueryInt(const std::string& sql);

  bool InTransaction() const;
  int64_t Changes() const;

 private:
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
};

// A write transaction (BEGIN IMMEDIATE, so a conflict shows at once, before any work) that
// rolls back unless committed. Inside a transaction already begun it does nothing: the outer
// one decides.
class WriteTransaction {
 public:
  explicit WriteTransaction(SqliteDb& db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  SqliteDb& db_;
  bool done_;
};

}  // namespace vorlix
