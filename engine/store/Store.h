// The seam under the engine: a store holds one database and answers, in the engine's own
// terms, what the floors above need of it: statements with typed binding and reading, write
// transactions that fail at once on a conflict, and what the store's catalogue says about
// tables, columns, indexes and foreign keys. Nothing above the store knows how a store keeps
// its schema; SQL text that every store accepts (quoted names, SELECT, INSERT ...) is written
// above it, anything a store reads from its own catalogue is asked of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/store/StoredValue.h"

namespace vorlix {

// One prepared statement of a store. Failures raise CDaoException.
class StatementCore {
 public:
  virtual ~StatementCore() = default;

  // Parameters count from 1, as in SQL text. Text and blob bytes are copied.
  virtual void Bind(int index, int64_t value) = 0;
  virtual void Bind(int index, std::string_view text) = 0;
  virtual void Bind(int index, const StoredValue& value) = 0;
  virtual void BindNull(int index) = 0;

  // Advances to the next row: true when there is one, false when the statement is done.
  virtual bool Step() = 0;
  // Back to before the first step, with every parameter unbound, to be run again.
  virtual void Reset() = 0;

  virtual bool IsNull(int column) const = 0;
  virtual int64_t Int(int column) const = 0;
  virtual std::string Text(int column) const = 0;  // "" for NULL
  // Column column of the current row in its storage class. The view's bytes are the store's:
  // valid until the statement steps, is reset, or column is read again.
  virtual StoredView Cell(int column) const = 0;

  virtual int ColumnCount() const = 0;
  virtual int ParameterCount() const = 0;
  // The name of parameter index (from 1) with its prefix (":a", "@a", "?3"); "" for a bare "?".
  virtual std::string ParameterName(int index) const = 0;
  // True when the statement changes nothing in the database.
  virtual bool ReadsOnly() const = 0;
  virtual std::string ColumnName(int column) const = 0;
  // Where a result column comes from: the declared type, table and column when it is taken
  // straight from a table's column, nullptr each when it is computed. The strings live as
  // long as the statement.
  struct Origin {
    const char* declaredType;
    const char* table;
    const char* column;
  };
  virtual Origin ColumnOrigin(int column) const = 0;
  // True when a column taken straight from a table's column is declared NOT NULL.
  virtual bool ColumnNotNull(int column) const = 0;
};

// A statement as the engine holds it: one of the store's kept statements (reset, with its
// bindings cleared, when the handle goes) or a one-off one (freed when the handle goes).
class Statement {
 public:
  using Origin = StatementCore::Origin;

  Statement(StatementCore* core, bool owned) : core_(core), owned_(owned) {}
  Statement(Statement&& other) noexcept : core_(other.core_), owned_(other.owned_) {
    other.core_ = nullptr;
  }
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, int64_t value) {
    core_->Bind(index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view text) {
    core_->Bind(index, text);
    return *this;
  }
  Statement& Bind(int index, const StoredValue& value) {
    core_->Bind(index, value);
    return *this;
  }
  Statement& BindNull(int index) {
    core_->BindNull(index);
    return *this;
  }
  bool Step() { return core_->Step(); }
  // Steps to the end, for statements that return no rows.
  void Run();
  void Reset() { core_->Reset(); }

  bool IsNull(int column) const { return core_->IsNull(column); }
  int64_t Int(int column) const { return core_->Int(column); }
  std::string Text(int column) const { return core_->Text(column); }
  StoredView Cell(int column) const { return core_->Cell(column); }

  // False for text that held only spaces or comments: nothing was prepared.
  bool HasStatement() const { return core_ != nullptr; }
  int ColumnCount() const { return core_->ColumnCount(); }
  int ParameterCount() const { return core_->ParameterCount(); }
  std::string ParameterName(int index) const { return core_->ParameterName(index); }
  bool ReadsOnly() const { return core_->ReadsOnly(); }
  std::string ColumnName(int column) const { return core_->ColumnName(column); }
  Origin ColumnOrigin(int column) const { return core_->ColumnOrigin(column); }
  bool ColumnNotNull(int column) const { return core_->ColumnNotNull(column); }

 private:
  StatementCore* core_;
  bool owned_;
};

// A table as the store's catalogue names it.
struct StoredTable {
  std::string name;        // as stored, whatever case it was asked for in
  std::string definition;  // the statement that made it
};

// A column of a table, in column order.
struct StoredColumn {
  int position;  // from 0
  std::string name;
  std::string declaredType;  // as declared, parsed by ParseDeclaredType
  bool notNull;
  std::string defaultSql;  // the DEFAULT expression as SQL text; "" for none
  int primaryKeyOrder;     // place in the primary key from 1; 0 when not part of it
};

// An index of a table, with its key columns in key order.
struct StoredIndex {
  enum class Origin { kCreated, kUnique, kPrimary };  // CREATE INDEX, UNIQUE, PRIMARY KEY
  struct Column {
    std::string name;
    bool descending;
    std::string collation;  // the collation that orders the key column
  };
  std::string name;
  bool unique;
  Origin origin;
  bool onExpression;  // some key is an expression, not a column
  std::vector<Column> columns;
};

// A foreign key of a table, in the order written; (primary, foreign) column pairs, the
// primary side filled in when the key names only the referenced table.
struct StoredForeignKey {
  std::string table;  // the referenced table, as the key names it
  std::vector<std::pair<std::string, std::string>> columns;
  std::string onUpdate, onDelete;  // "CASCADE", "NO ACTION" ...
  // The name the key was given where the store keeps it apart from the statement that made
  // the table; "" when unnamed, or when the store reads names from that statement only.
  std::string name;
};

class Store {
 public:
  virtual ~Store() = default;

  // Has check called now and then while a statement runs, which may hand the thread to other
  // work meanwhile: nothing else may use this store until it returns. When it answers true
  // the statement stops and raises 3059. An empty check removes it.
  using ProgressCheck = std::function<bool()>;
  virtual void WatchProgress(ProgressCheck check) = 0;

  // sql prepared once per store and kept; the returned statement is reset when it goes. For
  // statements run again and again (schema reads, catalog look-ups).
  virtual Statement Cached(std::string_view sql) = 0;
  // sql prepared for one use (statements built around names).
  virtual Statement Prepare(std::string_view sql) = 0;
  // Runs one or more statements that return no rows.
  virtual void Exec(const std::string& sql) = 0;
  // Runs sql, a statement without rows or parameters that no caller waits on (a savepoint taken
  // or released), no later than the next statement: a store that talks to a server sends it in
  // that statement's round trip, and a failure of it is that statement's failure.
  virtual void ExecWithNext(const char* sql) { Cached(sql).Run(); }
  // The first column of the first row of a one-off statement, 0 when there is no row.
  int64_t QueryInt(const std::string& sql);

  // Rows changed by the last statement that changed rows, and by all statements so far.
  virtual int64_t Changes() const = 0;
  virtual int64_t TotalChanges() const = 0;
  // The record identity of the row the last INSERT made.
  virtual int64_t LastInsertRowid() const = 0;
  // A record writer's INSERT, made to give back the new row the cheapest way, and that
  // statement run to its end, answering the row's identity. columns are what the writer reads
  // back of the row, as a SELECT list with the identity first. Where a statement costs no more
  // than a step of one (in process) the insert stays as it is, its identity is the connection's
  // last insert and read is never called: the writer reads the row itself. Where each
  // statement is a round trip the insert RETURNING columns hands read the statement on the new
  // row.
  virtual std::string NumberedInsert(std::string insert, const std::string& columns) const = 0;
  virtual int64_t RunNumberedInsert(Statement& insert,
                                    const std::function<void(const Statement&)>& read) = 0;
  // The message of the last failure, and whether it was a refusal of RefuseDefinitionsIn.
  virtual std::string ErrorMessage() const = 0;
  virtual bool WasRefused() const = 0;

  // Transactions. BeginWrite takes the database's write lock at once or raises 3262 when
  // another user holds it, never waiting: callers decide whether to retry.
  virtual bool InTransaction() const = 0;
  virtual void BeginWrite() = 0;
  virtual void Commit() = 0;
  // Ends the transaction without keeping its changes; never fails.
  virtual void Rollback() noexcept = 0;

  // The catalogue. Tables are matched without regard to case.
  virtual std::optional<StoredTable> FindTable(const std::string& name) = 0;
  // Every table the engine may show (the store's own internal tables left out).
  virtual std::vector<std::string> TableNames() = 0;
  virtual std::vector<StoredColumn> Columns(const std::string& table) = 0;
  virtual std::vector<StoredIndex> Indexes(const std::string& table) = 0;
  virtual std::vector<StoredForeignKey> ForeignKeys(const std::string& table) = 0;
  // True when column of table numbers itself.
  virtual bool IsAutoIncrement(const std::string& table, const std::string& column) = 0;
  // True when a table, index, view or trigger is called name (names shared by all of them,
  // matched without regard to case).
  virtual bool NameTaken(const std::string& name) = 0;
  // The triggers of table, or of every table when table is empty.
  virtual std::vector<std::string> Triggers(const std::string& table) = 0;
  // The statements that make table's indexes and triggers again, after the table was rebuilt.
  virtual std::vector<std::string> DependentDefinitions(const std::string& table) = 0;
  // Changes a store may make to a table where it stands, keeping its rows; each answers false,
  // having done nothing, when the store cannot (the caller then rebuilds the table). Dropping
  // the foreign key of table at position key (as ForeignKeys lists them); adding the required
  // column field (columnSql, its definition) to table, its rows given the SQL value fill, with
  // alsoInside run in the same write transaction.
  virtual bool DropForeignKey(const std::string& /*table*/, size_t /*key*/) { return false; }
  virtual bool AddRequiredColumn(const std::string& /*table*/, const std::string& /*field*/,
                                 const std::string& /*columnSql*/, const std::string& /*fill*/,
                                 const std::function<void()>& /*alsoInside*/) {
    return false;
  }
  // Relations enforced or not (only outside a transaction), and whether a row of table lacks
  // its related record.
  virtual void EnforceRelations(bool on) = 0;
  virtual bool LacksRelatedRecords(const std::string& table) = 0;

  // Counters that move on whenever the schema changes, and whenever anyone else changes the
  // database: what was read about either stays true while they stay.
  struct Versions {
    int64_t schema;
    int64_t data;
    bool operator==(const Versions&) const = default;
  };
  virtual Versions CurrentVersions() = 0;
  // The schema's counter alone.
  virtual int64_t SchemaVersion() = 0;
  // A counter for rows kept between reads: two equal answers mean that nothing visible to this
  // connection changed between the two calls, whoever wrote it. It moves on at every call when
  // the store cannot tell without a statement of its own (inside a transaction, say), so that
  // nothing read before is ever trusted then. Costs no statement and no system call.
  virtual uint64_t ReadVersion() = 0;

  // Tables made through a table definition. The statement that makes table (a quoted name)
  // with columns (column definitions as ColumnTypeSql gives their types), and the column type
  // that stands for declared, a declared type of the engine's ("LONG", "TEXT(20)", "COUNTER").
  virtual std::string CreateTableSql(const std::string& table,
                                     const std::vector<std::string>& columns) = 0;
  virtual std::string ColumnTypeSql(const std::string& declared) = 0;

  // Auto-increment fields. Whether column field of table gives new rows their numbers; making
  // it do so, starting after the largest number it holds (inside a write transaction); and the
  // SQL expression an INSERT gives such a column for the next number, "" when the store
  // numbers the row itself (the INSERT leaves the column out).
  virtual bool IsNumbered(const std::string& table, const std::string& field) = 0;
  virtual void NumberColumn(const std::string& table, const std::string& field) = 0;
  virtual std::string NextNumberSql(const std::string& table, const std::string& field) = 0;

  // Raises 3219 when this store cannot lend its tables links to other databases; before a link
  // is recorded, so that none is made that could never be read.
  virtual void RequireLinks() const {}
  // Other databases reached by SQL as schema.table: whether one is attached under schema, and
  // attaching path under it.
  virtual bool IsAttached(const std::string& schema) = 0;
  virtual void Attach(const std::string& path, const std::string& schema) = 0;
  // Makes the store refuse, when they are prepared, statements that create, drop or alter a
  // table, index, view or trigger in an attached database whose schema name begins with prefix
  // (a string that outlives the store, such as a literal).
  virtual void RefuseDefinitionsIn(const char* prefix) = 0;
};

// A write transaction (Store::BeginWrite, so a conflict shows at once, before any work) that
// rolls back unless committed. Inside a transaction already begun it does nothing: the outer
// one decides.
class WriteTransaction {
 public:
  explicit WriteTransaction(Store& db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  Store& db_;
  bool done_;
};

}  // namespace vorlix
