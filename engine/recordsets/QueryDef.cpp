#include "engine/recordsets/QueryDef.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/LinkedSql.h"
#include "engine/recordsets/PreparedSql.h"
#include "engine/recordsets/SavedQueries.h"
#include "engine/schema/Names.h"
#include "engine/schema/Schema.h"
#include "engine/store/SqlText.h"

namespace vorlix {

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
  Internal(*database_).Db();  // 3219 without an open database
  name_ = name.empty() ? std::string() : NewName(name, "query");
  SetText(NameUtf8(sql, "statement"));
  saved_ = false;
  open_ = true;
  Internal(*database_).AddDependent(this);
}

void CDaoQueryDef::Open(const Bstr& name) {
  if (open_) ThrowDao(dao_error::kInvalidOperation, "The query definition is open already.");
  const std::string wanted = NameUtf8(name, "query");
  std::optional<catalog::SavedQuery> q = catalog::FindQuery(Internal(*database_).Db(), wanted);
  if (!q) ThrowDao(dao_error::kNoSuchTable, "There is no saved query " + Quoted(wanted) + ".");
  SetText(q->sql);
  name_ = q->name;
  saved_ = true;
  open_ = true;
  Internal(*database_).AddDependent(this);
}

void CDaoQueryDef::Close() noexcept {
  if (!open_) return;
  open_ = saved_ = false;
  name_.clear();
  sql_.clear();
  text_ = QueryText();
  values_.clear();
  Internal(*database_).RemoveDependent(this);
}

void CDaoQueryDef::Append() {
  RequireOpen();
  if (saved_ || name_.empty()) {
    ThrowDao(dao_error::kInvalidOperation,
             "Only a new query with a name can be appended to the saved queries.");
  }
  database_->RequireUpdatable();
  Store& db = Internal(*database_).Db();
  if (catalog::FindQuery(db, name_) || !StoredTableName(db, name_).empty()) {
    ThrowDao(dao_error::kObjectExists, "An object named " + Quoted(name_) + " exists already.");
  }
  WriteTransaction transaction(db);
  catalog::PutQuery(db, {name_, sql_});
  transaction.Commit();
  Internal(*database_).SchemaChanged();
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
    Store& db = Internal(*database_).Db();
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
  Statement stmt = PrepareSql(*database_, text_.sql, sql_);
  // A declared parameter the statement never names has no place to be bound.
  const int places = stmt.ParameterCount();
  for (size_t i = 0; i < values_.size() && static_cast<int>(i) < places; ++i)
    stmt.Bind(static_cast<int>(i) + 1, *values_[i]);
  return stmt;
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
  recordsAffected_ = static_cast<int32_t>(
      RunAction(*database_, stmt, text_.sql, DefinesSchema(text_.sql)).affected);
}

ResultSet CDaoQueryDef::Rows(const RowLimit& limit) {
  Statement stmt = Prepare();
  if (stmt.ColumnCount() == 0 || !stmt.ReadsOnly()) {
    ThrowDao(dao_error::kInvalidOperation,
             "Only a statement that reads rows can be opened as a recordset: " + sql_);
  }
  return ReadResultSet(stmt, limit);
}

}  // namespace vorlix
