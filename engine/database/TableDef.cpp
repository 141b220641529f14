#include "engine/database/TableDef.h"

#include <algorithm>

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Links.h"
#include "engine/schema/Names.h"
#include "engine/schema/Schema.h"
#include "engine/schema/SystemTables.h"
#include "engine/schema/TableRebuild.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// A name for a new table or link: the MSys and sqlite_ prefixes belong to the engine and to
// SQLite.
std::string NewTableName(const Bstr& name) {
  std::string utf8 = NewName(name, "table");
  auto startsWith = [&](std::string_view prefix) {
    return utf8.size() >= prefix.size() &&
           EqualNoCase(std::string_view(utf8).substr(0, prefix.size()), prefix);
  };
  if (IsSystemName(utf8) || startsWith("sqlite_")) {
    ThrowDao(dao_error::kInvalidName, "The table name " + Quoted(utf8) + " is reserved.");
  }
  return utf8;
}

const TableEntry* FindTable(CDaoDatabase& db, const std::string& name) {
  for (const TableEntry& t : Internal(db).Tables()) {
    if (EqualNoCase(t.name, name)) return &t;
  }
  return nullptr;
}

// Index names are global to the store; an index of ours is stored as "table.index", made unique.
std::string StoredIndexName(Store& db, const std::string& table, const std::string& index) {
  const std::string base = table + "." + index;
  std::string name = base;
  for (int n = 2;; ++n) {
    if (!db.NameTaken(name)) return name;
    name = base + " " + std::to_string(n);
  }
}

// What adding a field or an index must know of a table: its field names, and its index names
// with their primary flags.
struct TableShape {
  std::vector<std::string> fields;
  std::vector<std::pair<std::string, bool>> indexes;
};

TableShape ShapeOf(const TableSchema& table) {
  TableShape shape;
  for (const FieldSchema& f : table.fields)
    shape.fields.push_back(f.name);
  for (const IndexSchema& i : table.indexes) {
    shape.indexes.emplace_back(i.info.m_strName.Utf8(), i.info.m_bPrimary);
  }
  return shape;
}

TableShape ShapeOf(const std::vector<FieldSpec>& fields, const std::vector<IndexSpec>& indexes) {
  TableShape shape;
  for (const FieldSpec& f : fields)
    shape.fields.push_back(f.name);
  for (const IndexSpec& i : indexes)
    shape.indexes.emplace_back(i.name, i.primary);
  return shape;
}

bool HasField(const TableShape& shape, const std::string& field) {
  return std::any_of(shape.fields.begin(), shape.fields.end(),
                     [&](const std::string& f) { return EqualNoCase(f, field); });
}

void CheckFieldFits(const std::string& table, const TableShape& shape, const FieldSpec& field) {
  if (HasField(shape, field.name)) {
    ThrowDao(dao_error::kDuplicateField,
             "The table " + Quoted(table) + " has a field " + Quoted(field.name) + " already.");
  }
}

void CheckIndexFits(const std::string& table, const TableShape& shape, const IndexSpec& index) {
  for (const auto& [name, primary] : shape.indexes) {
    if (EqualNoCase(name, index.name)) {
      ThrowDao(dao_error::kIndexExists,
               "The table " + Quoted(table) + " has an index " + Quoted(index.name) + " already.");
    }
    if (primary && index.primary) {
      ThrowDao(dao_error::kPrimaryKeyExists,
               "The table " + Quoted(table) + " has a primary key already.");
    }
  }
  for (const auto& [field, descending] : index.fields) {
    if (!HasField(shape, field)) {
      ThrowDao(dao_error::kItemNotFound,
               "The table " + Quoted(table) + " has no field " + Quoted(field) + " to index.");
    }
  }
}

void MakeIndex(Store& db, const std::string& table, const IndexSpec& index) {
  const std::string stored = StoredIndexName(db, table, index.name);
  db.Exec(CreateIndexSql(table, stored, index));
  catalog::PutIndex(db, table, index.name, stored, index.primary);
}

}  // namespace

void CDaoTableDef::RequireOpen() const {
  if (state_ == State::kClosed) {
    ThrowDao(dao_error::kInvalidOperation, "The table definition is not open.");
  }
}

void CDaoTableDef::RequireUserTable() const {
  RequireOpen();
  if (IsSystemName(name_)) {
    ThrowDao(dao_error::kReadOnly, "The system table " + Quoted(name_) + " cannot be changed.");
  }
}

void CDaoTableDef::RequireTable(const char* what) const {
  RequireUserTable();
  if (!connect_.empty()) {
    ThrowDao(dao_error::kInvalidOperation, std::string("The link ") + Quoted(name_) +
                                               " cannot take " + what +
                                               ": it has those of its source table.");
  }
}

Bstr CDaoTableDef::GetName() const {
  return Bstr::FromUtf8Lossy(name_);
}

void CDaoTableDef::Create(const Bstr& name, int32_t attributes, const Bstr& sourceTable,
                          const Bstr& connect) {
  if (state_ != State::kClosed) {
    ThrowDao(dao_error::kInvalidOperation, "The table definition " + Quoted(name_) + " is open.");
  }
  std::string tableName = NewTableName(name);
  if (attributes != 0) {
    ThrowDao(dao_error::kInvalidArgument,
             "The table " + Quoted(tableName) + " is given attributes; none are supported.");
  }
  std::string connectText = NameUtf8(connect, "connect string");
  std::string source = NameUtf8(sourceTable, "source table");
  if (!connectText.empty()) {
    LinkPath(connectText);
    if (source.empty()) {
      ThrowDao(dao_error::kInvalidArgument,
               "The link " + Quoted(tableName) + " names no source table.");
    }
  } else if (!source.empty()) {
    ThrowDao(dao_error::kInvalidArgument,
             "The table " + Quoted(tableName) + " has a source table but no connect string.");
  }
  name_ = std::move(tableName);
  connect_ = std::move(connectText);
  sourceTable_ = std::move(source);
  state_ = State::kNew;
}

void CDaoTableDef::Open(const Bstr& name) {
  if (state_ != State::kClosed) {
    ThrowDao(dao_error::kInvalidOperation, "The table definition " + Quoted(name_) + " is open.");
  }
  const std::string wanted = NameUtf8(name, "table");
  const TableEntry* t = FindTable(*database_, wanted);
  if (!t) ThrowDao(dao_error::kNoSuchTable, "There is no table " + Quoted(wanted) + ".");
  name_ = t->name;
  connect_ = t->connect;
  sourceTable_ = t->sourceTable;
  state_ = State::kExisting;
}

void CDaoTableDef::Close() {
  state_ = State::kClosed;
  name_.clear();
  connect_.clear();
  sourceTable_.clear();
  fields_.clear();
  indexes_.clear();
}

void CDaoTableDef::Append() {
  if (state_ != State::kNew) {
    ThrowDao(dao_error::kInvalidOperation, "Only a new table definition can be appended.");
  }
  database_->RequireUpdatable();
  if (FindTable(*database_, name_)) {
    ThrowDao(dao_error::kTableExists, "The table " + Quoted(name_) + " exists already.");
  }
  Store& db = Internal(*database_).Db();
  if (!connect_.empty()) {
    db.RequireLinks();
    sourceTable_ = CheckLinkTarget(LinkPath(connect_), sourceTable_);
    catalog::PutLink(db, {name_, connect_, sourceTable_});
  } else {
    if (fields_.empty()) {
      ThrowDao(dao_error::kNoFields, "The table " + Quoted(name_) + " has no fields.");
    }
    std::vector<std::string> columns;
    for (const FieldSpec& f : fields_)
      columns.push_back(ColumnSql(db, f));
    WriteTransaction transaction(db);
    db.Exec(db.CreateTableSql(QuoteName(name_), columns));
    for (const FieldSpec& f : fields_) {
      catalog::PutField(db, name_, f.name, {f.allowZeroLength, f.defaultText});
      if (f.autoIncrement) db.NumberColumn(name_, f.name);
    }
    for (const IndexSpec& index : indexes_)
      MakeIndex(db, name_, index);
    transaction.Commit();
  }
  Internal(*database_).SchemaChanged();
  fields_.clear();
  indexes_.clear();
  state_ = State::kExisting;
}

void CDaoTableDef::CreateField(const CDaoFieldInfo& info) {
  RequireTable("fields");
  const FieldSpec field = CheckField(info);
  if (state_ == State::kExisting) return AddField(field);
  CheckFieldFits(name_, ShapeOf(fields_, indexes_), field);
  fields_.push_back(field);
}

void CDaoTableDef::AddField(const FieldSpec& field) {
  database_->RequireUpdatable();
  Store& db = Internal(*database_).Db();
  const TableSchema table = ReadTableSchema(db, Internal(*database_).HasCatalog(), name_);
  CheckFieldFits(name_, ShapeOf(table), field);
  auto recordField = [&] {
    catalog::PutField(db, name_, field.name, {field.allowZeroLength, field.defaultText});
  };
  const std::string quoted = QuoteName(name_);
  const bool hasRows = db.QueryInt("SELECT EXISTS (SELECT 1 FROM " + quoted + ")") != 0;
  if (field.required && field.defaultSql.empty() && hasRows) {
    // A plain ADD COLUMN cannot give rows that exist a NOT NULL column without a default: the
    // store fills it in place, or the table is rebuilt with it.
    if (db.AddRequiredColumn(name_, field.name, ColumnSql(db, field), field.type->emptyValue,
                             recordField)) {
      return Internal(*database_).SchemaChanged();
    }
    std::optional<CreateTableSql> parsed = ParseCreateTable(table.sql);
    if (!parsed) {
      ThrowDao(dao_error::kEngineFailure,
               "The definition of " + Quoted(name_) + " cannot be read to add a field.");
    }
    RebuildTable(db, table, parsed->WithColumn(ColumnSql(db, field), QuoteName(kRebuildName)),
                 {{field.name, field.type->emptyValue}}, recordField);
  } else {
    WriteTransaction transaction(db);
    db.Exec("ALTER TABLE " + quoted + " ADD COLUMN " + ColumnSql(db, field));
    recordField();
    if (field.autoIncrement) {
      // Rows already there are numbered in rowid order; the counter continues after them.
      const std::string column = QuoteName(field.name);
      db.Exec("UPDATE " + quoted + " SET " + column + " = n.n FROM (SELECT rowid AS id, " +
              "row_number() OVER (ORDER BY rowid) AS n FROM " + quoted + ") AS n WHERE " + quoted +
              ".rowid = n.id");
      db.NumberColumn(name_, field.name);
    }
    transaction.Commit();
  }
  Internal(*database_).SchemaChanged();
}

void CDaoTableDef::CreateIndex(const CDaoIndexInfo& info) {
  RequireTable("indexes");
  const IndexSpec index = CheckIndex(info);
  if (state_ == State::kExisting) return AddIndex(index);
  CheckIndexFits(name_, ShapeOf(fields_, indexes_), index);
  indexes_.push_back(index);
}

void CDaoTableDef::AddIndex(const IndexSpec& index) {
  database_->RequireUpdatable();
  Store& db = Internal(*database_).Db();
  CheckIndexFits(name_, ShapeOf(ReadTableSchema(db, Internal(*database_).HasCatalog(), name_)),
                 index);
  WriteTransaction transaction(db);
  MakeIndex(db, name_, index);
  transaction.Commit();
  Internal(*database_).SchemaChanged();
}

void CDaoTableDef::SetName(const Bstr& name) {
  RequireUserTable();
  std::string to = NewTableName(name);
  if (state_ == State::kNew) {
    name_ = std::move(to);
    return;
  }
  if (to == name_) return;
  database_->RequireUpdatable();
  const TableEntry* other = FindTable(*database_, to);
  if (other && !EqualNoCase(to, name_)) {
    ThrowDao(dao_error::kObjectExists, "The name " + Quoted(to) + " is taken.");
  }
  Rename(to);
  Internal(*database_).SchemaChanged();
  name_ = std::move(to);
}

void CDaoTableDef::Rename(const std::string& to) {
  Store& db = Internal(*database_).Db();
  WriteTransaction transaction(db);
  if (!connect_.empty()) {
    catalog::RenameLink(db, name_, to);
  } else {
    // SQLite takes a change of letter case alone for a clash: go through another name.
    std::string from = name_;
    if (EqualNoCase(from, to)) {
      db.Exec("ALTER TABLE " + QuoteName(from) + " RENAME TO " + QuoteName(kRebuildName));
      from = kRebuildName;
    }
    db.Exec("ALTER TABLE " + QuoteName(from) + " RENAME TO " + QuoteName(to));
    catalog::RenameTable(db, name_, to);
  }
  transaction.Commit();
}

void CDaoTableDef::RefreshLink() {
  RequireOpen();
  if (connect_.empty()) {
    ThrowDao(dao_error::kInvalidOperation, "The table " + Quoted(name_) + " is not a link.");
  }
  CheckLinkTarget(LinkPath(connect_), sourceTable_);
}

}  // namespace vorlix
