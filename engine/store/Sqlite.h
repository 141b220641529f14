// A thin layer over the SQLite C API: a connection that keeps its prepared statements for
// reuse, statements with typed binding and reading, a transaction guard, and the translation
// of SQLite failures into CDaoException.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/store/StoredValue.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vorlix {

// Start and stop the library (sqlite3_initialize and sqlite3_shutdown): no connection may be
// open when it stops.
void StartSqlite();
void StopSqlite();

// Raises the CDaoException for SQLite result code rc on db (busy, read-only, constraint,
// not-a-database, interrupted ... each get their code; anything else the generic engine
// failure).
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
  // Binds value in its own storage class; text and blob bytes are copied.
  Statement& Bind(int index, const StoredValue& value);

  // Advances to the next row: true when there is one, false when the statement is done.
  bool Step();
  // Steps to the end, for statements that return no rows.
  void Run();
  // Back to before the first step, with every parameter unbound, to be run again.
  void Reset();

  bool IsNull(int column) const;
  int64_t Int(int column) const;
  std::string Text(int column) const;  // "" for NULL
  // Column column of the current row in its storage class. The view's bytes are SQLite's:
  // valid until the statement steps, is reset, or column is read again.
  StoredView Cell(int column) const;

  // False for text that held only spaces or comments: nothing was prepared.
  bool HasStatement() const { return stmt_ != nullptr; }
  int ColumnCount() const;
  int ParameterCount() const;
  // The name of parameter index (from 1) with its prefix (":a", "@a", "?3"); "" for a bare "?".
  std::string ParameterName(int index) const;
  // True when the statement changes nothing in the database.
  bool ReadsOnly() const;
  // The name of result column column.
  std::string ColumnName(int column) const;
  // Where a result column comes from: the declared type, table and column when it is taken
  // straight from a table's column, nullptr each when it is computed.
  struct Origin {
    const char* declaredType;
    const char* table;
    const char* column;
  };
  Origin ColumnOrigin(int column) const;
  // True when a column taken straight from a table's column is declared NOT NULL.
  bool ColumnNotNull(int column) const;

  // The raw statement, for benchmarks that compare the engine with plain SQLite.
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

  // The raw connection, for benchmarks that compare the engine with plain SQLite.
  sqlite3* handle() const { return db_; }

  // Has check called every few thousand steps of a running statement, which may hand the
  // thread to other work meanwhile: nothing else may use this connection until it returns.
  // When it answers true the statement stops and raises 3059. An empty check removes it.
  using ProgressCheck = std::function<bool()>;
  void WatchProgress(ProgressCheck check);

  // sql prepared once per connection and kept; the returned statement is reset when it goes.
  // For statements run again and again (schema reads, catalog look-ups).
  Statement Cached(std::string_view sql);
  // sql prepared for one use (statements built around names).
  Statement Prepare(std::string_view sql);
  // Runs one or more statements that return no rows.
  void Exec(const std::string& sql);
  // The first column of the first row of a one-off statement, 0 when there is no row.
  int64_t QueryInt(const std::string& sql);

  // Runs sql, which returns no rows, and ignores any failure: for a clean-up on a failure
  // path that must not hide the first failure.
  void ExecQuietly(const char* sql) noexcept;

  bool InTransaction() const;
  // Rows changed by the last statement that changed rows, and by all statements so far.
  int64_t Changes() const;
  int64_t TotalChanges() const;
  int64_t LastInsertRowid() const;
  // True when SQLite lets this connection only read the main file.
  bool ReadsOnly() const;
  // True when column of table in the main file numbers itself (INTEGER PRIMARY KEY
  // AUTOINCREMENT).
  bool IsAutoIncrement(const std::string& table, const std::string& column) const;

  // Makes the connection refuse, when they are prepared, statements that create, drop or alter
  // a table, index, view or trigger in an attached file whose schema name begins with prefix
  // (a string that outlives the connection, such as a literal).
  void RefuseDefinitionsIn(const char* prefix);
  // The message of the last failure, and whether it was such a refusal.
  std::string ErrorMessage() const;
  bool WasRefused() const;

 private:
  static int OnProgress(void* self);

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  ProgressCheck check_;
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
