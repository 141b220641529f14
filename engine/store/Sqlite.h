// The SQLite store: database files through the SQLite C API, and the translation of SQLite
// failures into CDaoException.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/store/Store.h"

struct sqlite3;

namespace vorlix {

// Start and stop the library (sqlite3_initialize and sqlite3_shutdown): no connection may be
// open when it stops.
void StartSqlite();
void StopSqlite();

// Raises the CDaoException for SQLite result code rc on db (busy, read-only, constraint,
// not-a-database, interrupted ... each get their code; anything else the generic engine
// failure).
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc);

// The store of a database file: a SQLite connection that keeps its prepared statements for
// reuse. The connection must be used by one thread at a time.
class SqliteDb final : public Store {
 public:
  // Opens path with SQLITE_OPEN_* flags, and nothing more: no journal mode, no settings. The
  // caller maps open failures itself (their meaning depends on what was asked), so this throws
  // the plain translation of the result code.
  SqliteDb(const std::string& path, int flags);
  ~SqliteDb() override;
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // The existing file path (checked already) opened as a database: shared, or exclusive (no
  // other connection, in this process or another, can open it until this one closes), for
  // reading and writing, or read-only. Files opened for writing use WAL with
  // synchronous=NORMAL; relations are enforced. Raises 3051 when the user may not write a
  // file opened to write or to hold exclusively, else the plain translation of SQLite's
  // failure (3343 not a database, 3262 held by another user ...).
  static std::unique_ptr<SqliteDb> OpenFile(const std::string& path, bool exclusive, bool readOnly);
  // A new database file at path (checked already), open for reading and writing as OpenFile
  // opens it.
  static std::unique_ptr<SqliteDb> CreateFile(const std::string& path);
  // The existing file path open only to read it.
  static std::unique_ptr<SqliteDb> OpenForReading(const std::string& path);
  // Writes a compacted copy of the file from to the new file to and returns the copy, open
  // for writing. Raises 3262 when from is in use.
  static std::unique_ptr<SqliteDb> CompactInto(const std::string& from, const std::string& to);

  // The raw connection, for benchmarks that compare the engine with plain SQLite.
  sqlite3* handle() const { return db_; }

  void WatchProgress(ProgressCheck check) override;
  Statement Cached(std::string_view sql) override;
  Statement Prepare(std::string_view sql) override;
  void Exec(const std::string& sql) override;
  int64_t Changes() const override;
  int64_t TotalChanges() const override;
  int64_t LastInsertRowid() const override;
  std::string NumberedInsert(std::string insert, const std::string& columns) const override;
  int64_t RunNumberedInsert(Statement& insert,
                            const std::function<void(const Statement&)>& read) override;
  std::string ErrorMessage() const override;
  bool WasRefused() const override;

  bool InTransaction() const override;
  void BeginWrite() override;
  void Commit() override;
  void Rollback() noexcept override;

  std::optional<StoredTable> FindTable(const std::string& name) override;
  std::vector<std::string> TableNames() override;
  std::vector<StoredColumn> Columns(const std::string& table) override;
  std::vector<StoredIndex> Indexes(const std::string& table) override;
  std::vector<StoredForeignKey> ForeignKeys(const std::string& table) override;
  bool IsAutoIncrement(const std::string& table, const std::string& column) override;
  bool NameTaken(const std::string& name) override;
  std::vector<std::string> Triggers(const std::string& table) override;
  std::vector<std::string> DependentDefinitions(const std::string& table) override;
  void EnforceRelations(bool on) override;
  bool LacksRelatedRecords(const std::string& table) override;
  Versions CurrentVersions() override;
  int64_t SchemaVersion() override;
  uint64_t ReadVersion() override;

  std::string CreateTableSql(const std::string& table,
                             const std::vector<std::string>& columns) override;
  std::string ColumnTypeSql(const std::string& declared) override;
  bool IsNumbered(const std::string& table, const std::string& field) override;
  void NumberColumn(const std::string& table, const std::string& field) override;
  std::string NextNumberSql(const std::string& table, const std::string& field) override;

  bool IsAttached(const std::string& schema) override;
  void Attach(const std::string& path, const std::string& schema) override;
  void RefuseDefinitionsIn(const char* prefix) override;

 private:
  static int OnProgress(void* self);
  // True when SQLite lets this connection only read the main file.
  bool ReadsOnlyMain() const;
  // Runs sql, which returns no rows, ignoring any failure.
  void ExecQuietly(const char* sql) noexcept;

  // True when the file's WAL index is in shared memory (WAL, not held exclusively): every
  // commit by anyone rewrites its header, which is how ReadVersion sees changes.
  bool JournalIsWal();

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, std::unique_ptr<StatementCore>> cache_;
  ProgressCheck check_;
  bool sharedWalIndex_ = false;
  uint64_t readVersion_ = 0;
  std::optional<std::array<uint32_t, 12>> walHeaderSeen_;  // as ReadVersion last read it
};

}  // namespace vorlix
