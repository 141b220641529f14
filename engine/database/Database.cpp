#include "engine/database/Database.h"

#include <algorithm>

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Links.h"
#include "engine/schema/Names.h"
#include "engine/schema/Schema.h"
#include "engine/schema/SystemTables.h"
#include "engine/schema/TableRebuild.h"
#include "engine/store/FilePaths.h"
#include "engine/store/SqlText.h"
#include "engine/store/Stores.h"

namespace vorlix {
CDaoDatabase::~CDaoDatabase() {
  Close();
}

void CDaoDatabase::Open(const Bstr& name, bool exclusive, bool readOnly, const Bstr& connect) {
  if (IsOpen()) {
    ThrowDao(dao_error::kInvalidOperation,
             "This database object has " + Quoted(open_->name) + " open already.");
  }
  if (!connect.empty()) {
    ThrowDao(dao_error::kInvalidArgument, "A database is opened without a connect string.");
  }
  const std::string path = DatabasePath(name);
  CheckExisting(path, !readOnly);

  try {
    std::unique_ptr<Store> db = OpenStore(path, exclusive, readOnly);
    GuardLinkedFiles(*db);
    Attach(std::move(db), path, readOnly);
  } catch (const CDaoException& e) {
    if (e.Code() == dao_error::kTableInUse || e.Code() == dao_error::kEngineFailure) {
      ThrowDao(dao_error::kCannotOpen,
               Quoted(path) + " is in use by another user or cannot be opened: " + e.what());
    }
    throw;
  }
}

void CDaoDatabase::Create(const Bstr& name, const Bstr& locale, int32_t options) {
  if (IsOpen()) {
    ThrowDao(dao_error::kInvalidOperation,
             "This database object has " + Quoted(open_->name) + " open already.");
  }
  const std::string path = DatabasePath(name);
  CheckNew(path);
  try {
    std::unique_ptr<Store> db = CreateStore(path);
    GuardLinkedFiles(*db);
    WriteTransaction transaction(*db);
    catalog::Create(*db);
    catalog::SetProperty(*db, "Locale", locale.Utf8());
    catalog::SetProperty(*db, "Options", std::to_string(options));
    transaction.Commit();
    Attach(std::move(db), path, false);
  } catch (const CDaoException& e) {
    RemoveCreated(path);
    if (e.Code() == dao_error::kEngineFailure) {
      ThrowDao(dao_error::kInvalidPath, "Cannot create " + Quoted(path) + ": " + e.what());
    }
    throw;
  }
}

void CDaoDatabase::Attach(std::unique_ptr<Store> db, std::string name, bool readOnly) {
  bool hasCatalog = catalog::Exists(*db);
  if (!readOnly) {
    if (!hasCatalog) {
      WriteTransaction transaction(*db);
      catalog::Create(*db);
      transaction.Commit();
      hasCatalog = true;
    }
    // Another program, or an older build, may have dropped what catalog rows describe.
    catalog::Prune(*db);
    catalog::SyncCounters(*db);
  }
  std::optional<engine::FileId> file;
  if (NamesFile(name)) {
    file = engine::IdentifyFile(name);
    if (!file) ThrowDao(dao_error::kFileNotFound, "The file " + Quoted(name) + " has gone.");
  }
  if (check_) db->WatchProgress(check_);
  open_ = std::make_unique<OpenFile>(
      OpenFile{std::move(db), std::move(name), file, readOnly, hasCatalog});
  cache_ = Cache();
  if (open_->file) engine::NoteOpened(*open_->file);
}

void CDaoDatabase::Close() {
  if (!open_) return;
  // A dependent unregisters as it closes, so walk a copy.
  std::vector<Dependent*> dependents = dependents_;
  for (Dependent* d : dependents)
    d->OnDatabaseClose();
  dependents_.clear();
  const std::optional<engine::FileId> file = open_->file;
  cache_ = Cache();
  open_.reset();
  if (file) engine::NoteClosed(*file);
}

Bstr CDaoDatabase::GetName() const {
  return open_ ? Bstr::FromUtf8Lossy(open_->name) : Bstr();
}

bool CDaoDatabase::CanUpdate() const {
  return open_ && !open_->readOnly;
}

void CDaoDatabase::RequireUpdatable() {
  if (!CanUpdate()) {
    ThrowDao(dao_error::kReadOnly,
             "The database " + Quoted(open_ ? open_->name : "") + " is not open for writing.");
  }
}

int16_t CDaoDatabase::GetTableDefCount() {
  return static_cast<int16_t>(Internal(*this).Tables().size());
}

void CDaoDatabase::GetTableDefInfo(int index, CDaoTableDefInfo& info, uint32_t level) {
  const std::vector<TableEntry>& tables = Internal(*this).Tables();
  if (index < 0 || static_cast<size_t>(index) >= tables.size()) {
    ThrowDao(dao_error::kItemNotFound,
             "There is no table definition at position " + std::to_string(index) + ".");
  }
  const TableEntry& t = tables[index];
  const bool system = IsSystemName(t.name);
  info = CDaoTableDefInfo();
  info.m_strName = Bstr::FromUtf8Lossy(t.name);
  info.m_lAttributes = (system ? dbSystemObject : 0) | (t.isLink ? dbAttachedTable : 0);
  info.m_bUpdatable = CanUpdate() && !system;
  if (t.isLink) {
    info.m_strConnect = Bstr::FromUtf8Lossy(t.connect);
    info.m_strSourceTableName = Bstr::FromUtf8Lossy(t.sourceTable);
  } else if (level >= AFX_DAO_ALL_INFO) {
    info.m_lRecordCount =
        Internal(*this).Db().QueryInt("SELECT count(*) FROM " + QuoteName(t.name));
  }
}

void CDaoDatabase::DeleteTableDef(const Bstr& name) {
  const std::string wanted = NameUtf8(name, "table");
  RequireUpdatable();
  const std::vector<TableEntry>& tables = Internal(*this).Tables();
  auto t = std::find_if(tables.begin(), tables.end(),
                        [&](const TableEntry& e) { return EqualNoCase(e.name, wanted); });
  if (t == tables.end())
    ThrowDao(dao_error::kNoSuchTable, "There is no table " + Quoted(wanted) + ".");
  const std::string table = t->name;
  Store& db = Internal(*this).Db();
  if (t->isLink) {
    catalog::DeleteLink(db, table);
    Internal(*this).SchemaChanged();
    return;
  }
  if (IsSystemName(table)) {
    ThrowDao(dao_error::kReadOnly, "The system table " + Quoted(table) + " cannot be deleted.");
  }
  for (const RelationSchema& r : Internal(*this).Relations()) {
    if (r.primaryTable == table || r.foreignTable == table) {
      ThrowDao(dao_error::kPartOfRelation,
               "The table " + Quoted(table) + " is part of the relation " + Quoted(r.name) + ".");
    }
  }
  WriteTransaction transaction(db);
  db.Exec("DROP TABLE " + QuoteName(table));
  catalog::ForgetTable(db, table);
  transaction.Commit();
  Internal(*this).SchemaChanged();
}

int16_t CDaoDatabase::GetRelationCount() {
  return static_cast<int16_t>(Internal(*this).Relations().size());
}

void CDaoDatabase::GetRelationInfo(int index, CDaoRelationInfo& info, uint32_t) {
  const std::vector<RelationSchema>& relations = Internal(*this).Relations();
  if (index < 0 || static_cast<size_t>(index) >= relations.size()) {
    ThrowDao(dao_error::kItemNotFound,
             "There is no relation at position " + std::to_string(index) + ".");
  }
  info = relations[index].info;
}

namespace {
const RelationSchema& FindRelation(const std::vector<RelationSchema>& relations,
                                   const std::string& name) {
  for (const RelationSchema& r : relations) {
    if (EqualNoCase(r.name, name)) return r;
  }
  ThrowDao(dao_error::kItemNotFound, "There is no relation " + Quoted(name) + ".");
}
}  // namespace

void CDaoDatabase::GetRelationInfo(const Bstr& name, CDaoRelationInfo& info, uint32_t) {
  info = FindRelation(Internal(*this).Relations(), NameUtf8(name, "relation")).info;
}

void CDaoDatabase::DeleteRelation(const Bstr& name) {
  const std::string wanted = NameUtf8(name, "relation");
  RequireUpdatable();
  const RelationSchema r = FindRelation(Internal(*this).Relations(), wanted);
  Store& db = Internal(*this).Db();
  if (db.DropForeignKey(r.foreignTable, r.clause)) {
    Internal(*this).SchemaChanged();
    return;
  }
  const TableSchema table = ReadTableSchema(db, Internal(*this).HasCatalog(), r.foreignTable);
  std::optional<CreateTableSql> parsed = ParseCreateTable(table.sql);
  const size_t declared = parsed ? parsed->foreignKeys.size() : 0;
  size_t keys = 0;
  for (const RelationSchema& other : Internal(*this).Relations())
    keys += other.foreignTable == r.foreignTable;
  if (!parsed || declared != keys) {
    ThrowDao(dao_error::kEngineFailure, "The definition of " + Quoted(r.foreignTable) +
                                            " cannot be read to remove " + Quoted(r.name) + ".");
  }
  RebuildTable(db, table, parsed->WithoutForeignKey(r.clause, QuoteName(kRebuildName)), {});
  Internal(*this).SchemaChanged();
}

}  // namespace vorlix
