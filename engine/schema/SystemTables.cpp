#include "engine/schema/SystemTables.h"

#include "engine/store/SqlText.h"

namespace vorlix::catalog {
namespace {

constexpr const char* kTables[] = {
    "CREATE TABLE IF NOT EXISTS MSysInfo (Name TEXT PRIMARY KEY, Value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS MSysFields (TableName TEXT NOT NULL COLLATE NOCASE, "
    "FieldName TEXT NOT NULL COLLATE NOCASE, AllowZeroLength INTEGER NOT NULL, "
    "DefaultValue TEXT NOT NULL, PRIMARY KEY (TableName, FieldName))",
    "CREATE TABLE IF NOT EXISTS MSysIndexes (TableName TEXT NOT NULL COLLATE NOCASE, "
    "IndexName TEXT NOT NULL COLLATE NOCASE, StoredName TEXT NOT NULL UNIQUE, "
    "IsPrimary INTEGER NOT NULL, PRIMARY KEY (TableName, IndexName))",
    "CREATE TABLE IF NOT EXISTS MSysCounters (TableName TEXT NOT NULL COLLATE NOCASE, "
    "FieldName TEXT NOT NULL COLLATE NOCASE, LastValue INTEGER NOT NULL, "
    "PRIMARY KEY (TableName, FieldName))",
    "CREATE TABLE IF NOT EXISTS MSysLinks (Name TEXT PRIMARY KEY COLLATE NOCASE, "
    "Connect TEXT NOT NULL, SourceTable TEXT NOT NULL)",
};

constexpr const char* kCounterPrefix = "MSysCounter ";

// The rows of each catalog table that describe nothing any more: fields whose column is gone
// (with its table or alone), indexes SQLite no longer has, counters whose trigger is gone.
struct Orphans {
  const char* table;
  std::string where;
};
std::vector<Orphans> OrphanedRows() {
  return {{"MSysFields",
           "NOT EXISTS (SELECT 1 FROM pragma_table_info(TableName, 'main') AS c "
           "WHERE c.name = FieldName COLLATE NOCASE)"},
          {"MSysIndexes",
           "StoredName NOT IN (SELECT name FROM main.sqlite_schema WHERE type = 'index')"},
          {"MSysCounters",
           "NOT EXISTS (SELECT 1 FROM main.sqlite_schema WHERE type = 'trigger' AND name = " +
               QuoteText(kCounterPrefix) + " || TableName || '.' || FieldName COLLATE NOCASE)"}};
}

std::string CounterTrigger(const std::string& table, const std::string& field) {
  return kCounterPrefix + table + "." + field;
}

std::string CounterKey(const std::string& table, const std::string& field) {
  return "TableName = " + QuoteText(table) + " AND FieldName = " + QuoteText(field);
}

}  // namespace

// After each insert: a row that brought no number gets the next one; a row that brought its
// own moves the counter past it, so a later automatic number never repeats it.
void InstallCounter(SqliteDb& db, const std::string& table, const std::string& field) {
  const std::string t = QuoteName(table), f = QuoteName(field);
  const std::string key = CounterKey(table, field);
  db.Exec("INSERT OR IGNORE INTO MSysCounters (TableName, FieldName, LastValue) SELECT " +
          QuoteText(table) + ", " + QuoteText(field) + ", coalesce(max(" + f + "), 0) FROM " + t +
          ";\n" + "CREATE TRIGGER " + QuoteName(CounterTrigger(table, field)) +
          " AFTER INSERT ON " + t + " BEGIN\n" +
          "  UPDATE MSysCounters SET LastValue = CASE WHEN NEW." + f +
          " IS NULL THEN LastValue + 1 WHEN typeof(NEW." + f +
          ") = 'integer' THEN max(LastValue, NEW." + f + ") ELSE LastValue END WHERE " + key +
          ";\n" + "  UPDATE " + t + " SET " + f + " = (SELECT LastValue FROM MSysCounters WHERE " +
          key + ") WHERE NEW." + f + " IS NULL AND rowid = NEW.rowid;\nEND");
}

// Only where the trigger exists: it is what moves LastValue on, and a number taken without it
// would be given again.
std::string NextCounterSql(const std::string& table, const std::string& field) {
  return "(SELECT LastValue + 1 FROM MSysCounters WHERE " + CounterKey(table, field) +
         " AND EXISTS (SELECT 1 FROM main.sqlite_schema WHERE type = 'trigger' AND name = " +
         QuoteText(CounterTrigger(table, field)) + "))";
}

bool Exists(SqliteDb& db) {
  Statement s = db.Cached(
      "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
      "('MSysInfo', 'MSysFields', 'MSysIndexes', 'MSysCounters', 'MSysLinks')");
  s.Step();
  return s.Int(0) == static_cast<int64_t>(std::size(kTables));
}

void Create(SqliteDb& db) {
  for (const char* sql : kTables)
    db.Exec(sql);
}

void SetProperty(SqliteDb& db, const std::string& name, const std::string& value) {
  db.Cached("INSERT OR REPLACE INTO MSysInfo (Name, Value) VALUES (?1, ?2)")
      .Bind(1, name)
      .Bind(2, value)
      .Run();
}

void PutField(SqliteDb& db, const std::string& table, const std::string& field,
              const FieldEntry& entry) {
  db.Cached(
        "INSERT OR REPLACE INTO MSysFields (TableName, FieldName, AllowZeroLength, "
        "DefaultValue) VALUES (?1, ?2, ?3, ?4)")
      .Bind(1, table)
      .Bind(2, field)
      .Bind(3, entry.allowZeroLength)
      .Bind(4, entry.defaultValue)
      .Run();
}

std::optional<FieldEntry> Field(SqliteDb& db, const std::string& table, const std::string& field) {
  Statement s = db.Cached(
      "SELECT AllowZeroLength, DefaultValue FROM MSysFields WHERE TableName = ?1 AND "
      "FieldName = ?2");
  s.Bind(1, table).Bind(2, field);
  if (!s.Step()) return std::nullopt;
  return FieldEntry{s.Int(0) != 0, s.Text(1)};
}

void PutIndex(SqliteDb& db, const std::string& table, const std::string& indexName,
              const std::string& storedName, bool primary) {
  db.Cached(
        "INSERT OR REPLACE INTO MSysIndexes (TableName, IndexName, StoredName, IsPrimary) "
        "VALUES (?1, ?2, ?3, ?4)")
      .Bind(1, table)
      .Bind(2, indexName)
      .Bind(3, storedName)
      .Bind(4, primary)
      .Run();
}

std::optional<IndexEntry> IndexByStoredName(SqliteDb& db, const std::string& storedName) {
  Statement s = db.Cached("SELECT IndexName, IsPrimary FROM MSysIndexes WHERE StoredName = ?1");
  s.Bind(1, storedName);
  if (!s.Step()) return std::nullopt;
  return IndexEntry{s.Text(0), s.Int(1) != 0};
}

std::vector<LinkEntry> Links(SqliteDb& db) {
  std::vector<LinkEntry> links;
  Statement s = db.Cached("SELECT Name, Connect, SourceTable FROM MSysLinks");
  while (s.Step())
    links.push_back({s.Text(0), s.Text(1), s.Text(2)});
  return links;
}

void PutLink(SqliteDb& db, const LinkEntry& link) {
  db.Cached("INSERT INTO MSysLinks (Name, Connect, SourceTable) VALUES (?1, ?2, ?3)")
      .Bind(1, link.name)
      .Bind(2, link.connect)
      .Bind(3, link.sourceTable)
      .Run();
}

void RenameLink(SqliteDb& db, const std::string& from, const std::string& to) {
  db.Cached("UPDATE MSysLinks SET Name = ?2 WHERE Name = ?1").Bind(1, from).Bind(2, to).Run();
}

void DeleteLink(SqliteDb& db, const std::string& name) {
  db.Cached("DELETE FROM MSysLinks WHERE Name = ?1").Bind(1, name).Run();
}

void SyncCounters(SqliteDb& db) {
  std::vector<std::pair<std::string, std::string>> missing;
  Statement s = db.Cached(
      "SELECT m.name, c.name FROM sqlite_schema AS m, pragma_table_info(m.name) AS c "
      "WHERE m.type = 'table' AND m.sql NOT LIKE '%WITHOUT%ROWID%' "
      "AND (c.type LIKE 'COUNTER%' OR c.type LIKE 'AUTOINCREMENT%') "
      "AND NOT EXISTS (SELECT 1 FROM sqlite_schema AS g WHERE g.type = 'trigger' "
      "AND g.name = ?1 || m.name || '.' || c.name)");
  s.Bind(1, kCounterPrefix);
  while (s.Step())
    missing.emplace_back(s.Text(0), s.Text(1));
  if (missing.empty()) return;
  WriteTransaction transaction(db);
  for (const auto& [table, field] : missing)
    InstallCounter(db, table, field);
  transaction.Commit();
}

void RenameTable(SqliteDb& db, const std::string& from, const std::string& to) {
  std::vector<std::string> triggers;
  Statement s = db.Cached(
      "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1 "
      "AND substr(name, 1, length(?2)) = ?2");
  s.Bind(1, to).Bind(2, kCounterPrefix);  // ALTER TABLE has moved the triggers to the new name
  while (s.Step())
    triggers.push_back(s.Text(0));
  for (const std::string& trigger : triggers)
    db.Exec("DROP TRIGGER " + QuoteName(trigger));
  for (const char* table : {"MSysFields", "MSysIndexes", "MSysCounters"}) {
    db.Prepare(std::string("UPDATE ") + table + " SET TableName = ?2 WHERE TableName = ?1")
        .Bind(1, from)
        .Bind(2, to)
        .Run();
  }
  SyncCounters(db);
}

void RenameField(SqliteDb& db, const std::string& table, const std::string& from,
                 const std::string& to) {
  db.Exec("DROP TRIGGER IF EXISTS " + QuoteName(CounterTrigger(table, from)));
  for (const char* t : {"MSysFields", "MSysCounters"}) {
    db.Prepare(std::string("UPDATE ") + t +
               " SET FieldName = ?3 WHERE TableName = ?1 AND FieldName = ?2")
        .Bind(1, table)
        .Bind(2, from)
        .Bind(3, to)
        .Run();
  }
  SyncCounters(db);  // the counter row moved above keeps its last number
}

void ForgetTable(SqliteDb& db, const std::string& table) {
  for (const char* t : {"MSysFields", "MSysIndexes", "MSysCounters"}) {
    db.Prepare(std::string("DELETE FROM ") + t + " WHERE TableName = ?1").Bind(1, table).Run();
  }
}

void Prune(SqliteDb& db) {
  const std::vector<Orphans> orphans = OrphanedRows();
  std::string any = "SELECT 0";
  for (const Orphans& o : orphans)
    any += std::string(" OR EXISTS (SELECT 1 FROM ") + o.table + " WHERE " + o.where + ")";
  if (db.QueryInt(any) == 0) return;
  WriteTransaction transaction(db);
  for (const Orphans& o : orphans)
    db.Exec(std::string("DELETE FROM ") + o.table + " WHERE " + o.where);
  transaction.Commit();
}

}  // namespace vorlix::catalog
