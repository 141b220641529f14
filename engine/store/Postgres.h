// The store of a database on a PostgreSQL server, through libpq. A database is named by a
// libpq URI (postgresql:// or postgres://); credentials come from the URI, ~/.pgpass or the
// environment as libpq reads them.
//
// Each record has a hidden identity column "rowid" (bigint, never reused), the record's
// bookmark and the tie-break of the table cursor's probes. Text and Memo columns use the
// collation "general" that the store creates in each database it makes: ICU's root order at
// the secondary strength, so case is ignored and accents count, as in files. The engine's
// write lock is a transaction-level advisory lock of the database, taken without waiting: a
// second writer fails at once with 3262, and the server frees the lock when the transaction
// ends or the connection is lost (a killed server included).
//
// The engine's catalog tables (MSysInfo ...) live in the schema "msys", the user's tables in
// "public": every statement given to the store names a catalog table there, whatever case it
// is written in, and the catalogue reads both schemas.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/store/Store.h"

struct pg_conn;
struct pg_result;

namespace vorlix {

// True when name is a PostgreSQL URI rather than a file name.
bool IsPostgresUri(std::string_view name);

class PostgresDb final : public Store {
 public:
  // Connects to the database uri names. exclusive: no other engine connection has it open
  // (a session advisory lock, 3051 when it is taken); readOnly: every transaction reads only.
  // Raises 3151 when the server cannot be reached, 3024 when it has no such database, 3051
  // when the user may not connect.
  static std::unique_ptr<PostgresDb> Connect(const std::string& uri, bool exclusive, bool readOnly);
  // Creates the database uri names (through the server's database "postgres"), with the
  // collations and types the store declares columns with, and connects to it. Raises 3204
  // when it exists, what Connect raises otherwise.
  static std::unique_ptr<PostgresDb> CreateDatabase(const std::string& uri);
  // Runs VACUUM on the database uri names: the compaction of a database on a server, which
  // stays where it is.
  static void Vacuum(const std::string& uri);

  ~PostgresDb() override;
  PostgresDb(const PostgresDb&) = delete;
  PostgresDb& operator=(const PostgresDb&) = delete;

  void WatchProgress(ProgressCheck check) override;
  Statement Cached(std::string_view sql) override;
  Statement Prepare(std::string_view sql) override;
  void Exec(const std::string& sql) override;
  void ExecWithNext(const char* sql) override;
  int64_t Changes() const override { return changes_; }
  int64_t TotalChanges() const override { return totalChanges_; }
  int64_t LastInsertRowid() const override;
  std::string NumberedInsert(std::string insert, const std::string& columns) const override;
  int64_t RunNumberedInsert(Statement& insert,
                            const std::function<void(const Statement&)>& read) override;
  std::string ErrorMessage() const override { return lastError_; }
  bool WasRefused() const override { return false; }

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
  bool DropForeignKey(const std::string& table, size_t key) override;
  bool AddRequiredColumn(const std::string& table, const std::string& field,
                         const std::string& columnSql, const std::string& fill,
                         const std::function<void()>& alsoInside) override;
  void EnforceRelations(bool on) override;
  bool LacksRelatedRecords(const std::string& table) override;
  Versions CurrentVersions() override;
  int64_t SchemaVersion() override;
  // Other sessions' commits cannot be seen without asking the server: never the same twice.
  uint64_t ReadVersion() override { return ++readVersion_; }

  std::string CreateTableSql(const std::string& table,
                             const std::vector<std::string>& columns) override;
  std::string ColumnTypeSql(const std::string& declared) override;
  bool IsNumbered(const std::string& table, const std::string& field) override;
  void NumberColumn(const std::string& table, const std::string& field) override;
  std::string NextNumberSql(const std::string& table, const std::string& field) override;

  void RequireLinks() const override;
  bool IsAttached(const std::string& schema) override;
  void Attach(const std::string& path, const std::string& schema) override;
  void RefuseDefinitionsIn(const char*) override {}

  // For the statements of this store. One round trip: the commands deferred so far
  // (ExecWithNext), then the commands sends put on the connection (each one PQsend... of the
  // extended protocol), then the deallocations of statements no longer used. Answers the
  // results of sends' commands, each checked as Check does; raises the first failure among
  // them and the deferred commands. While the server works the thread is not held: the check
  // given to WatchProgress is called every few milliseconds, and may hand the thread to other
  // work; when it answers true, the server is asked to cancel the statement.
  using Result = std::unique_ptr<pg_result, void (*)(pg_result*)>;
  std::vector<Result> Exchange(std::initializer_list<std::function<int()>> sends,
                               std::string_view sql);
  // A statement prepared on the server under name that is no longer used: deallocated in the
  // next exchange, since nothing waits for that.
  void Unused(std::string name) { unused_.push_back(std::move(name)); }
  pg_conn* conn() const { return conn_; }
  // Where the result columns a statement's description names come from: per column, the
  // declared type, table and column of the table's column it is taken straight from, nothing
  // for a computed one.
  struct ColumnSource {
    std::string declaredType, table, column;
    bool notNull;
  };
  std::vector<std::optional<ColumnSource>> ColumnSources(const pg_result* description);
  // A new name for a statement prepared on the server.
  std::string NextStatementName() { return "s" + std::to_string(++statements_); }

 private:
  explicit PostgresDb(pg_conn* conn) : conn_(conn) {}
  // A statement's result, raising what its failure means (and keeping the counts of changed
  // rows and the table of an INSERT).
  pg_result* Check(pg_result* result, std::string_view sql);
  // The results of the command the connection answers next, as PQexec would keep them: the
  // last, or the failure that stopped the command (null when sent, what PQsend... answered, is
  // 0).
  pg_result* Await(int sent);
  // Runs sql by the simple protocol, with the commands deferred so far ahead of it.
  Result Simple(const std::string& sql);

  pg_conn* conn_;
  std::unordered_map<std::string, std::unique_ptr<StatementCore>> cache_;
  int64_t changes_ = 0;
  int64_t totalChanges_ = 0;
  std::string lastInsertTable_;  // the table the last INSERT named, as written
  std::string lastError_;
  ProgressCheck check_;
  uint64_t readVersion_ = 0;
  uint64_t statements_ = 0;
  // Savepoints taken and released that nothing has waited for yet: they go ahead of the next
  // statement, in its round trip, and are dropped by a rollback.
  std::vector<std::string> deferred_;
  std::vector<std::string> unused_;  // names of statements to deallocate
};

}  // namespace vorlix
