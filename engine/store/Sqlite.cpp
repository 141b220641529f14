#include "engine/store/Sqlite.h"

#include <sqlite3.h>

#include <atomic>
#include <new>
#include <string_view>

#include "engine/DaoException.h"
#include "engine/store/TextCollation.h"

namespace vorlix {
namespace {

// Steps of SQLite's virtual machine between two progress checks: a few microseconds of work,
// so a check (a clock read) costs next to nothing and a stop is seen at once.
constexpr int kProgressSteps = 4000;

int RefuseDefinitions(void* prefix, int action, const char* arg1, const char*, const char* schema,
                      const char*) {
  switch (action) {
    case SQLITE_ALTER_TABLE:
      schema = arg1;  // ALTER TABLE gives its schema first
      break;
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
      break;
    default:
      return SQLITE_OK;
  }
  const bool linked =
      schema && std::string_view(schema).starts_with(static_cast<const char*>(prefix));
  return linked ? SQLITE_DENY : SQLITE_OK;
}

}  // namespace

void StartSqlite() {
  sqlite3_initialize();
}

void StopSqlite() {
  sqlite3_shutdown();
}

void ThrowSqlite(sqlite3* db, int rc) {
  const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      ThrowDao(dao_error::kTableInUse, "The database is in use by another user: " + detail);
    case SQLITE_INTERRUPT:
      ThrowDao(dao_error::kCancelled, "The statement was cancelled.");
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

// A prepared SQLite statement; the store finalizes it when it goes.
class SqliteStatement final : public StatementCore {
 public:
  explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  void Bind(int index, int64_t value) override;
  void Bind(int index, std::string_view text) override;
  void Bind(int index, const StoredValue& value) override;
  void BindNull(int index) override;
  bool Step() override;
  void Reset() override;
  bool IsNull(int column) const override;
  int64_t Int(int column) const override;
  std::string Text(int column) const override;
  StoredView Cell(int column) const override;
  int ColumnCount() const override;
  int ParameterCount() const override;
  std::string ParameterName(int index) const override;
  bool ReadsOnly() const override;
  std::string ColumnName(int column) const override;
  Origin ColumnOrigin(int column) const override;
  bool ColumnNotNull(int column) const override;

 private:
  sqlite3_stmt* stmt_;
};

void SqliteStatement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
}

void SqliteStatement::Bind(int index, std::string_view text) {
  int rc =
      sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
}

void SqliteStatement::BindNull(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(stmt_), rc);
}

bool SqliteStatement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // sqlite3_step's extended code is only reported by the connection after a reset.
  sqlite3* db = sqlite3_db_handle(stmt_);
  sqlite3_reset(stmt_);
  ThrowSqlite(db, sqlite3_extended_errcode(db));
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return std::string();
  return std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column));
}

StoredView SqliteStatement::Cell(int column) const {
  // One call that takes the connection's mutex per cell; the value_* readers below take none.
  // Nothing else uses the connection meanwhile: it belongs to one database object, which is
  // used by one thread at a time.
  sqlite3_value* cell = sqlite3_column_value(stmt_, column);
  StoredView v;
  switch (sqlite3_value_type(cell)) {
    case SQLITE_INTEGER:
      v.kind = StoredValue::kInteger;
      v.integer = sqlite3_value_int64(cell);
      break;
    case SQLITE_FLOAT:
      v.kind = StoredValue::kReal;
      v.real = sqlite3_value_double(cell);
      break;
    case SQLITE_TEXT: {
      v.kind = StoredValue::kText;
      // Text first, then its length: the length is of the UTF-8 form the text call made. The
      // call may copy the text to end it with a NUL; no text means that copy found no memory,
      // and an empty string in its place would be a value lost.
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
      if (!text) throw std::bad_alloc();
      v.bytes = {text, static_cast<size_t>(sqlite3_value_bytes(cell))};
      break;
    }
    case SQLITE_BLOB: {
      v.kind = StoredValue::kBlob;
      const auto* bytes = static_cast<const char*>(sqlite3_value_blob(cell));
      if (bytes) v.bytes = {bytes, static_cast<size_t>(sqlite3_value_bytes(cell))};
      break;
    }
    default:
      break;
  }
  return v;
}

void SqliteStatement::Bind(int index, const StoredValue& value) {
  sqlite3_stmt* s = stmt_;
  int rc = SQLITE_OK;
  switch (value.kind) {
    case StoredValue::kNull:
      rc = sqlite3_bind_null(s, index);
      break;
    case StoredValue::kInteger:
      rc = sqlite3_bind_int64(s, index, value.integer);
      break;
    case StoredValue::kReal:
      rc = sqlite3_bind_double(s, index, value.real);
      break;
    case StoredValue::kText:
      rc = sqlite3_bind_text64(s, index, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
      break;
    case StoredValue::kBlob: {
      // data() of a string is never null, so an empty blob stays an empty blob, not Null.
      rc = sqlite3_bind_blob64(s, index, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT);
      break;
    }
  }
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(s), rc);
}

int SqliteStatement::ColumnCount() const {
  return sqlite3_column_count(stmt_);
}

int SqliteStatement::ParameterCount() const {
  return sqlite3_bind_parameter_count(stmt_);
}

std::string SqliteStatement::ParameterName(int index) const {
  const char* name = sqlite3_bind_parameter_name(stmt_, index);
  return name ? name : "";
}

bool SqliteStatement::ReadsOnly() const {
  return sqlite3_stmt_readonly(stmt_) != 0;
}

std::string SqliteStatement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);  // null only when memory ran out
  return name ? name : "";
}

StatementCore::Origin SqliteStatement::ColumnOrigin(int column) const {
  const char* declared = sqlite3_column_decltype(stmt_, column);
  const char* name = sqlite3_column_origin_name(stmt_, column);
  if (!declared || !name) return {nullptr, nullptr, nullptr};
  return {declared, sqlite3_column_table_name(stmt_, column), name};
}

bool SqliteStatement::ColumnNotNull(int column) const {
  const char* schema = sqlite3_column_database_name(stmt_, column);
  const char* table = sqlite3_column_table_name(stmt_, column);
  const char* name = sqlite3_column_origin_name(stmt_, column);
  int notNull = 0;
  if (!schema || !table || !name) return false;
  const int rc = sqlite3_table_column_metadata(sqlite3_db_handle(stmt_), schema, table, name,
                                               nullptr, nullptr, &notNull, nullptr, nullptr);
  return rc == SQLITE_OK && notNull != 0;
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
  cache_.clear();  // every statement finalized before the connection closes
  sqlite3_close(db_);
}

void SqliteDb::WatchProgress(ProgressCheck check) {
  check_ = std::move(check);
  if (check_) {
    sqlite3_progress_handler(db_, kProgressSteps, OnProgress, this);
  } else {
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
  }
}

int SqliteDb::OnProgress(void* self) {
  return static_cast<SqliteDb*>(self)->check_() ? 1 : 0;
}

Statement SqliteDb::Cached(std::string_view sql) {
  auto it = cache_.find(std::string(sql));
  if (it != cache_.end()) return Statement(it->second.get(), false);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  // Text that held only comments prepares nothing: kept as such, it stays nothing.
  auto core = stmt ? std::make_unique<SqliteStatement>(stmt) : nullptr;
  StatementCore* kept = cache_.emplace(std::string(sql), std::move(core)).first->second.get();
  return Statement(kept, false);
}

Statement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, rc);
  return Statement(stmt ? new SqliteStatement(stmt) : nullptr, true);
}

void SqliteDb::Exec(const std::string& sql) {
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db_, sqlite3_extended_errcode(db_));
}

int64_t SqliteDb::Changes() const {
  return sqlite3_changes64(db_);
}

int64_t SqliteDb::TotalChanges() const {
  return sqlite3_total_changes64(db_);
}

int64_t SqliteDb::LastInsertRowid() const {
  return sqlite3_last_insert_rowid(db_);
}

// The connection knows the identity for nothing; a RETURNING clause would cost the statement a
// table of its results.
std::string SqliteDb::NumberedInsert(std::string insert, const std::string&) const {
  return insert;
}

int64_t SqliteDb::RunNumberedInsert(Statement& insert,
                                    const std::function<void(const Statement&)>&) {
  insert.Run();
  return LastInsertRowid();
}

bool SqliteDb::ReadsOnlyMain() const {
  return sqlite3_db_readonly(db_, "main") == 1;
}

void SqliteDb::ExecQuietly(const char* sql) noexcept {
  sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

void SqliteDb::RefuseDefinitionsIn(const char* prefix) {
  sqlite3_set_authorizer(db_, RefuseDefinitions, const_cast<char*>(prefix));
}

std::string SqliteDb::ErrorMessage() const {
  return sqlite3_errmsg(db_);
}

bool SqliteDb::WasRefused() const {
  return sqlite3_errcode(db_) == SQLITE_AUTH;
}

bool SqliteDb::InTransaction() const {
  return !sqlite3_get_autocommit(db_);
}

// IMMEDIATE: the write lock is taken by BEGIN itself, so a conflict shows before any work.
void SqliteDb::BeginWrite() {
  Cached("BEGIN IMMEDIATE").Run();
}

void SqliteDb::Commit() {
  Cached("COMMIT").Run();
}

void SqliteDb::Rollback() noexcept {
  ExecQuietly("ROLLBACK");
}

bool SqliteDb::JournalIsWal() {
  Statement mode = Cached("PRAGMA journal_mode");
  return mode.Step() && mode.Text(0) == "wal";
}

// The WAL index begins with two copies of a 48-byte header (SQLite's documented file format)
// that every commit rewrites, its change counter included: the second copy first, then the
// first. Reading the first, then the second, and finding them equal is reading a header no
// writer is between copies of, as SQLite's own readers do.
uint64_t SqliteDb::ReadVersion() {
  std::array<uint32_t, 12> header;
  sqlite3_file* file = nullptr;
  volatile void* region = nullptr;
  // Outside a transaction only: inside one, this connection's own writes are not in the
  // header yet, and a rollback takes them back without touching it.
  bool known = sharedWalIndex_ && sqlite3_get_autocommit(db_) &&
               sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK &&
               file && file->pMethods && file->pMethods->iVersion >= 2 &&
               file->pMethods->xShmMap(file, 0, 32 * 1024, 0, &region) == SQLITE_OK && region;
  if (known) {
    const auto* words = static_cast<const volatile uint32_t*>(region);
    for (size_t i = 0; i < header.size(); ++i)
      header[i] = words[i];
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < header.size() && known; ++i)
      known = words[header.size() + i] == header[i];
  }
  if (!known) {
    // Whatever is read now is not to be trusted later either, even when the header it is
    // next compared with has not moved.
    walHeaderSeen_.reset();
    return ++readVersion_;
  }
  if (walHeaderSeen_ != header) {
    walHeaderSeen_ = header;
    ++readVersion_;
  }
  return readVersion_;
}

}  // namespace vorlix
