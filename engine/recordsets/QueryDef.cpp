#include "engine/recordsets/QueryDef.h"

#include "engine/DaoException.h"
#include "engine/recordsets/ColumnValue.h"
#include "engine/recordsets/LinkedSql.h"
#include "engine/recordsets/SavedQueries.h"
#include "engine/schema/Names.h"
#include "engine/schema/Schema.h"
#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// Statements that would change how the connection works (its settings, attached files, locking
// or transactions) rather than the database: the engine keeps those to itself, since a client's
// PRAGMA or BEGIN could hold locks past the call or switch off checks.
bool ManagesConnection(const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->empty()) return false;
  for (const char* word : {"PRAGMA", "ATTACH", "DETACH", "BEGIN", "COMMIT", "END", "ROLLBACK",
                           "SAVEPOINT", "RELEASE", "VACUUM"}) {
    if ((*tokens)[0].Is(word)) return true;
  }
  return false;
}

// After a statement run by SQL; true when it was DDL. What the catalog keeps about tables
// follows them: a table made by SQL gets counters for its COUNTER columns; a renamed table's
// or field's rows move with it; the rows of whatever is gone go (or a table, field or index made
// later under its name would inherit them), however the statement named it.
bool KeepCatalog(SqliteDb& db, const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->size() < 3) return false;
  const std::vector<Token>& t = *tokens;
  if (!t[0].Is("CREATE") && !t[0].Is("ALTER") && !t[0].Is("DROP")) return false;
  if (t[0].Is("ALTER") && t[1].Is("TABLE")) {
    const QualifiedName table = ReadQualifiedName(t, 2, sql);
    size_t i = table.end;
    if (i + 2 < t.size() && t[i].Is("RENAME") &&
        (table.schema.empty() || EqualNoCase(table.schema, "main"))) {
      const std::string name = NameOf(t[table.name], sql);
      if (t[i + 1].Is("TO")) {  // ALTER TABLE t RENAME TO new
        catalog::RenameTable(db, name, NameOf(t[i + 2], sql));
      } else {  // ALTER TABLE t RENAME [COLUMN] a TO b
        i += t[i + 1].Is("COLUMN") ? 2 : 1;
        if (i + 2 < t.size() && t[i + 1].Is("TO")) {
          catalog::RenameField(db, name, NameOf(t[i], sql), NameOf(t[i + 2], sql));
        }
      }
    }
  }
  catalog::Prune(db);
  catalog::SyncCounters(db);
  return true;
}

}  // namespace

CDaoQueryDef::~CDaoQueryDef() {
  Close();
}

void CDaoQueryDef::RequireOpen() const {
  if (!open_) ThrowDao(dao_error::kInvalidOperation, "The query definition is not open.");
}

void CDaoQueryDef::SetText(std::string sql) {
  text_ = ReadQueryText(sql);
  sql_ = std::move(sql);
  values_.assign(text_.parameters.size(), std::nullopt);
}

void CDaoQueryDef::Create(const Bstr& name, const Bstr& sql) {
  if (open_) ThrowDao(dao_error::kInvalidOperation, "The query definition is open already.");
  database_->Db();  // 3219 without an open database
  name_ = name.empty() ? std::string() : NewName(name, "query");
  SetText(NameUtf8(sql, "statement"));
  saved_ = false;
  open_ = true;
  database_->AddDependent(this);
}

void CDaoQueryDef::Open(const Bstr& name) {
  if (open_) ThrowDao(dao_error::kInvalidOperation, "The query definition is open already.");
  const std::string wanted = NameUtf8(name, "query");
  std::optional<catalog::SavedQuery> q = catalog::FindQuery(database_->Db(), wanted);
  if (!q) ThrowDao(dao_error::kNoSuchTable, "There is no saved query " + Quoted(wanted) + ".");
  SetText(q->sql);
  name_ = q->name;
  saved_ = true;
  open_ = true;
  database_->AddDependent(this);
}

void CDaoQueryDef::Close() noexcept {
  if (!open_) return;
  open_ = saved_ = false;
  name_.clear();
  sql_.clear();
  text_ = QueryText();
  values_.clear();
  database_->RemoveDependent(this);
}

void CDaoQueryDef::Append() {
  RequireOpen();
  if (saved_ || name_.empty()) {
    ThrowDao(dao_error::kInvalidOperation,
             "Only a new query with a name can be appended to the saved queries.");
  }
  database_->RequireUpdatable();
  SqliteDb& db = database_->Db();
  if (catalog::FindQuery(db, name_) || !StoredTableName(db, name_).empty()) {
    ThrowDao(dao_error::kObjectExists, "An object named " + Quoted(name_) + " exists already.");
  }
  WriteTransaction transaction(db);
  catalog::PutQuery(db, {name_, sql_});
  transaction.Commit();
  database_->SchemaChanged();
  saved_ = true;
}

Bstr CDaoQueryDef::GetName() const {
  return Bstr::FromUtf8Lossy(name_);
}

Bstr CDaoQueryDef::GetSQL() const {
  return Bstr::FromUtf8Lossy(sql_);
}

void CDaoQueryDef::SetSQL(const Bstr& sql) {
  RequireOpen();
  std::string text = NameUtf8(sql, "statement");
  ReadQueryText(text);  // refuse a bad declaration before storing it
  if (saved_) {
    database_->RequireUpdatable();
    SqliteDb& db = database_->Db();
    WriteTransaction transaction(db);
    catalog::SetQuerySql(db, name_, text);
    transaction.Commit();
  }
  SetText(std::move(text));
}

void CDaoQueryDef::SetParamValue(const Bstr& name, const Variant& value) {
  RequireOpen();
  const std::string wanted = NameUtf8(name, "parameter");
  for (size_t i = 0; i < text_.parameters.size(); ++i) {
    const QueryParameter& p = text_.parameters[i];
    if (!EqualNoCase(p.name, wanted)) continue;
    values_[i] = ToStoredValue(*p.type, p.size, value);
    return;
  }
  ThrowDao(dao_error::kItemNotFound, "The query declares no parameter " + Quoted(wanted) + ".");
}

Statement CDaoQueryDef::Prepare() {
  RequireOpen();
  for (size_t i = 0; i < values_.size(); ++i) {
    if (!values_[i]) {
      ThrowDao(dao_error::kTooFewParameters,
               "Too few parameters: " + Quoted(text_.parameters[i].name) + " has no value.");
    }
  }
  if (ManagesConnection(text_.sql)) {
    ThrowDao(dao_error::kInvalidOperation,
             "Statements that manage the connection or its transactions are not run: " + sql_);
  }
  if (HasSecondStatement(text_.sql)) {
    ThrowDao(dao_error::kSyntaxError, "The text holds more than one statement: " + sql_);
  }
  SqliteDb& db = database_->Db();
  const std::string sql = ResolveLinks(*database_, WithEngineColumns(text_.sql));
  std::optional<Statement> stmt;
  try {
    stmt.emplace(db.Prepare(sql));
  } catch (const CDaoException& e) {
    if (e.Code() != dao_error::kEngineFailure) throw;
    const std::string message = db.ErrorMessage();
    if (db.WasRefused()) {
      ThrowDao(
          dao_error::kInvalidOperation,
          "A linked table's definition belongs to its own file and is not changed here: " + sql_);
    }
    if (message.rfind("no such table", 0) == 0) {
      ThrowDao(dao_error::kNoSuchTable,
               "The statement names a missing table (" + message + "): " + sql_);
    }
    ThrowDao(dao_error::kSyntaxError, "Syntax error (" + message + ") in: " + sql_);
  }
  if (!stmt->HasStatement()) ThrowDao(dao_error::kSyntaxError, "The statement is empty.");
  // A declared parameter the statement never names has no place to be bound.
  const int places = stmt->ParameterCount();
  for (size_t i = 0; i < values_.size() && static_cast<int>(i) < places; ++i)
    stmt->Bind(static_cast<int>(i) + 1, *values_[i]);
  return std::move(*stmt);
}

void CDaoQueryDef::Execute(int) {
  RequireOpen();
  database_->RequireUpdatable();
  if (std::optional<std::string> link = DroppedLink(*database_, text_.sql)) {
    // The user means the link, not the other file's table: forget it as deleting its table
    // definition does.
    database_->DeleteTableDef(Bstr::FromUtf8Lossy(*link));
    recordsAffected_ = 0;
    return;
  }
  Statement stmt = Prepare();
  if (stmt.ColumnCount() > 0) {
    ThrowDao(dao_error::kRowReturningQuery,
             "The statement returns rows; open it as a recordset instead: " + sql_);
  }
  SqliteDb& db = database_->Db();
  WriteTransaction transaction(db);
  const int64_t before = db.TotalChanges();
  stmt.Run();
  // changes() keeps the count of the last statement that changed rows; DDL changes none.
  const int64_t affected = db.TotalChanges() == before ? 0 : db.Changes();
  const bool ddl = KeepCatalog(db, text_.sql);
  transaction.Commit();
  if (ddl) database_->SchemaChanged();
  recordsAffected_ = static_cast<int32_t>(affected);
}

ResultSet CDaoQueryDef::Rows() {
  Statement stmt = Prepare();
  if (stmt.ColumnCount() == 0 || !stmt.ReadsOnly()) {
    ThrowDao(dao_error::kInvalidOperation,
             "Only a statement that reads rows can be opened as a recordset: " + sql_);
  }
  return ReadResultSet(stmt);
}

}  // namespace vorlix
