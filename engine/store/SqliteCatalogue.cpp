// What the SQLite store reads from SQLite's own catalogue (sqlite_schema and the schema
// pragmas), and how it opens, creates and compacts files.
#include <sqlite3.h>

#include <map>

#include "engine/DaoException.h"
#include "engine/store/FilePaths.h"
#include "engine/store/SqlText.h"
#include "engine/store/Sqlite.h"
#include "engine/store/SqliteCounters.h"

namespace vorlix {
namespace {

// The primary key columns of table, for a foreign key that names no columns.
std::vector<std::string> PrimaryKeyColumns(Store& db, const std::string& table) {
  std::vector<std::string> columns;
  Statement s = db.Cached("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
  s.Bind(1, table);
  while (s.Step())
    columns.push_back(s.Text(0));
  return columns;
}

// Settings of every connection that opens a file as a database: no busy timeout (SQLite's
// default), so a conflict fails at once; relations enforced.
void Configure(SqliteDb& db) {
  db.Exec("PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON");
}

std::string CounterKey(const std::string& table, const std::string& field) {
  return "TableName = " + QuoteText(table) + " AND FieldName = " + QuoteText(field);
}

}  // namespace

std::unique_ptr<SqliteDb> SqliteDb::OpenFile(const std::string& path, bool exclusive,
                                             bool readOnly) {
  // A read-only open of a file the user may write uses a writing connection that refuses
  // writes (query_only): SQLite cannot hold a WAL file exclusively through a read-only
  // connection, and a read-only connection leaves the WAL and shared-memory files behind when
  // it closes last. A user who may not write the file cannot lock it exclusively at all: such
  // an open shares.
  const int flags = readOnly ? ReadingFlags(path) : SQLITE_OPEN_READWRITE;
  const bool writer = flags == SQLITE_OPEN_READWRITE;
  auto db = std::make_unique<SqliteDb>(SqliteName(path), flags);
  if (exclusive && writer) db->Exec("PRAGMA locking_mode = EXCLUSIVE");
  // The first read: a file that is not a database shows here, and so does a lock held by
  // another connection. Only an open for writing turns the file to WAL.
  if (!readOnly) {
    db->Exec("PRAGMA journal_mode = WAL");
  } else {
    db->QueryInt("SELECT count(*) FROM sqlite_schema");
  }
  // SQLite may give a writer reading only (the user may not write the file after all):
  // enough for a shared read-only open, not for writing or holding the file exclusively.
  if (writer && (!readOnly || exclusive) && db->ReadsOnlyMain()) {
    ThrowDao(dao_error::kCannotOpen, "The user may not write " + Quoted(path) + ".");
  }
  if (exclusive && writer) db->Exec("BEGIN EXCLUSIVE; COMMIT");
  Configure(*db);
  if (readOnly && writer) db->Exec("PRAGMA query_only = ON");
  db->sharedWalIndex_ = writer && !exclusive && db->JournalIsWal();
  return db;
}

std::unique_ptr<SqliteDb> SqliteDb::CreateFile(const std::string& path) {
  auto db =
      std::make_unique<SqliteDb>(SqliteName(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  db->Exec("PRAGMA journal_mode = WAL");
  Configure(*db);
  db->sharedWalIndex_ = db->JournalIsWal();
  return db;
}

std::unique_ptr<SqliteDb> SqliteDb::OpenForReading(const std::string& path) {
  return std::make_unique<SqliteDb>(SqliteName(path), ReadingFlags(path));
}

std::unique_ptr<SqliteDb> SqliteDb::CompactInto(const std::string& from, const std::string& to) {
  OpenForReading(from)->Prepare("VACUUM INTO ?1").Bind(1, SqliteName(to)).Run();
  return std::make_unique<SqliteDb>(SqliteName(to), SQLITE_OPEN_READWRITE);
}

std::optional<StoredTable> SqliteDb::FindTable(const std::string& name) {
  Statement s = Cached(
      "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return StoredTable{s.Text(0), s.Text(1)};
}

std::vector<std::string> SqliteDb::TableNames() {
  std::vector<std::string> names;
  Statement s = Cached(
      "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
      "ESCAPE '\\'");
  while (s.Step())
    names.push_back(s.Text(0));
  return names;
}

std::vector<StoredColumn> SqliteDb::Columns(const std::string& table) {
  std::vector<StoredColumn> columns;
  Statement s =
      Cached("SELECT cid, name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1)");
  s.Bind(1, table);
  while (s.Step()) {
    columns.push_back({static_cast<int>(s.Int(0)), s.Text(1), s.Text(2), s.Int(3) != 0, s.Text(4),
                       static_cast<int>(s.Int(5))});
  }
  return columns;
}

std::vector<StoredIndex> SqliteDb::Indexes(const std::string& table) {
  std::vector<StoredIndex> indexes;
  Statement list = Cached("SELECT name, \"unique\", origin FROM pragma_index_list(?1)");
  list.Bind(1, table);
  while (list.Step()) {
    const std::string origin = list.Text(2);
    indexes.push_back({list.Text(0),
                       list.Int(1) != 0,
                       origin == "pk"  ? StoredIndex::Origin::kPrimary
                       : origin == "u" ? StoredIndex::Origin::kUnique
                                       : StoredIndex::Origin::kCreated,
                       false,
                       {}});
  }
  for (StoredIndex& index : indexes) {
    Statement cols = Cached(
        "SELECT cid, name, \"desc\", coll FROM pragma_index_xinfo(?1) WHERE key ORDER BY seqno");
    cols.Bind(1, index.name);
    while (cols.Step()) {
      index.onExpression = index.onExpression || cols.Int(0) < 0;
      index.columns.push_back({cols.Text(1), cols.Int(2) != 0, cols.Text(3)});
    }
  }
  return indexes;
}

// SQLite numbers a table's foreign keys the other way round from the order they were written.
std::vector<StoredForeignKey> SqliteDb::ForeignKeys(const std::string& table) {
  std::map<int64_t, StoredForeignKey> byId;
  Statement s = Cached(
      "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete "
      "FROM pragma_foreign_key_list(?1) ORDER BY id, seq");
  s.Bind(1, table);
  while (s.Step()) {
    StoredForeignKey& key = byId[s.Int(0)];
    key.table = s.Text(1);
    key.columns.emplace_back(s.IsNull(3) ? std::string() : s.Text(3), s.Text(2));
    key.onUpdate = s.Text(4);
    key.onDelete = s.Text(5);
  }
  std::vector<StoredForeignKey> keys;
  for (auto it = byId.rbegin(); it != byId.rend(); ++it)
    keys.push_back(std::move(it->second));
  for (StoredForeignKey& key : keys) {
    if (key.columns.front().first.empty()) {
      std::vector<std::string> pk = PrimaryKeyColumns(*this, key.table);
      for (size_t i = 0; i < key.columns.size() && i < pk.size(); ++i)
        key.columns[i].first = pk[i];
    }
  }
  return keys;
}

bool SqliteDb::IsAutoIncrement(const std::string& table, const std::string& column) {
  int autoinc = 0;
  sqlite3_table_column_metadata(db_, "main", table.c_str(), column.c_str(), nullptr, nullptr,
                                nullptr, nullptr, &autoinc);
  return autoinc != 0;
}

bool SqliteDb::NameTaken(const std::string& name) {
  Statement s = Cached("SELECT 1 FROM sqlite_schema WHERE name = ?1 COLLATE NOCASE");
  s.Bind(1, name);
  return s.Step();
}

std::vector<std::string> SqliteDb::Triggers(const std::string& table) {
  std::vector<std::string> triggers;
  Statement s = Cached(
      "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND (?1 = '' OR tbl_name = ?1)");
  s.Bind(1, table);
  while (s.Step())
    triggers.push_back(s.Text(0));
  return triggers;
}

std::vector<std::string> SqliteDb::DependentDefinitions(const std::string& table) {
  std::vector<std::string> remake;
  Statement s = Cached(
      "SELECT sql FROM sqlite_schema WHERE tbl_name = ?1 AND type IN ('index', 'trigger') "
      "AND sql IS NOT NULL");
  s.Bind(1, table);
  while (s.Step())
    remake.push_back(s.Text(0));
  return remake;
}

void SqliteDb::EnforceRelations(bool on) {
  Exec(on ? "PRAGMA foreign_keys = ON" : "PRAGMA foreign_keys = OFF");
}

bool SqliteDb::LacksRelatedRecords(const std::string& table) {
  Statement check = Prepare("SELECT 1 FROM pragma_foreign_key_check(?1)");
  check.Bind(1, table);
  return check.Step();
}

// schema_version moves with every change of the schema; data_version whenever another
// connection commits a change to the file.
Store::Versions SqliteDb::CurrentVersions() {
  Statement data = Cached("PRAGMA data_version");
  data.Step();
  return {SchemaVersion(), data.Int(0)};
}

int64_t SqliteDb::SchemaVersion() {
  Statement schema = Cached("PRAGMA schema_version");
  schema.Step();
  return schema.Int(0);
}

std::string SqliteDb::CreateTableSql(const std::string& table,
                                     const std::vector<std::string>& columns) {
  std::string sql = "CREATE TABLE " + table + " (";
  for (size_t i = 0; i < columns.size(); ++i)
    sql += (i ? ", " : "") + columns[i];
  return sql + ")";
}

// The engine's declared types are SQLite's: they are what a reader of the file sees.
std::string SqliteDb::ColumnTypeSql(const std::string& declared) {
  return declared;
}

// Matched without regard to case, as SQLite matches trigger names.
bool SqliteDb::IsNumbered(const std::string& table, const std::string& field) {
  Statement s =
      Cached("SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND name = ?1 COLLATE NOCASE");
  s.Bind(1, CounterTrigger(table, field));
  return s.Step();
}

// After each insert: a row that brought no number gets the next one; a row that brought its
// own moves the counter past it, so a later automatic number never repeats it.
void SqliteDb::NumberColumn(const std::string& table, const std::string& field) {
  const std::string t = QuoteName(table), f = QuoteName(field);
  const std::string key = CounterKey(table, field);
  Exec("INSERT OR IGNORE INTO MSysCounters (TableName, FieldName, LastValue) SELECT " +
       QuoteText(table) + ", " + QuoteText(field) + ", coalesce(max(" + f + "), 0) FROM " + t +
       ";\n" + "CREATE TRIGGER " + QuoteName(CounterTrigger(table, field)) + " AFTER INSERT ON " +
       t + " BEGIN\n" + "  UPDATE MSysCounters SET LastValue = CASE WHEN NEW." + f +
       " IS NULL THEN LastValue + 1 WHEN typeof(NEW." + f +
       ") = 'integer' THEN max(LastValue, NEW." + f + ") ELSE LastValue END WHERE " + key + ";\n" +
       "  UPDATE " + t + " SET " + f + " = (SELECT LastValue FROM MSysCounters WHERE " + key +
       ") WHERE NEW." + f + " IS NULL AND rowid = NEW.rowid;\nEND");
}

// Only where the trigger exists: it is what moves LastValue on, and a number taken without it
// would be given again. Supplying the number spares the trigger from rewriting the new row,
// which for a big record is most of its cost.
std::string SqliteDb::NextNumberSql(const std::string& table, const std::string& field) {
  return "(SELECT LastValue + 1 FROM MSysCounters WHERE " + CounterKey(table, field) +
         " AND EXISTS (SELECT 1 FROM main.sqlite_schema WHERE type = 'trigger' AND name = " +
         QuoteText(CounterTrigger(table, field)) + "))";
}

bool SqliteDb::IsAttached(const std::string& schema) {
  Statement listed = Cached("SELECT 1 FROM pragma_database_list WHERE name = ?1");
  listed.Bind(1, schema);
  return listed.Step();
}

void SqliteDb::Attach(const std::string& path, const std::string& schema) {
  Prepare("ATTACH DATABASE ?1 AS ?2").Bind(1, path).Bind(2, schema).Run();
}

}  // namespace vorlix
