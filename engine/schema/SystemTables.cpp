#include "engine/schema/SystemTables.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/store/SqlText.h"
#include "engine/store/SqliteCounters.h"

namespace vorlix::catalog {
namespace {

// Each made through the store, as a table definition's table is, so that a store's hidden
// columns (a server's record identity) are there too and the table opens like any other.
struct CatalogTable {
  const char* name;
  std::vector<std::string> columns;
};
const CatalogTable kTables[] = {
    {"MSysInfo", {"Name TEXT PRIMARY KEY", "Value TEXT NOT NULL"}},
    {"MSysFields",
     {"TableName TEXT NOT NULL COLLATE NOCASE", "FieldName TEXT NOT NULL COLLATE NOCASE",
      "AllowZeroLength INTEGER NOT NULL", "DefaultValue TEXT NOT NULL",
      "PRIMARY KEY (TableName, FieldName)"}},
    {"MSysIndexes",
     {"TableName TEXT NOT NULL COLLATE NOCASE", "IndexName TEXT NOT NULL COLLATE NOCASE",
      "StoredName TEXT NOT NULL UNIQUE", "IsPrimary INTEGER NOT NULL",
      "PRIMARY KEY (TableName, IndexName)"}},
    {"MSysCounters",
     {"TableName TEXT NOT NULL COLLATE NOCASE", "FieldName TEXT NOT NULL COLLATE NOCASE",
      "LastValue INTEGER NOT NULL", "PRIMARY KEY (TableName, FieldName)"}},
    {"MSysLinks",
     {"Name TEXT PRIMARY KEY COLLATE NOCASE", "Connect TEXT NOT NULL",
      "SourceTable TEXT NOT NULL"}},
};

}  // namespace

bool Exists(Store& db) {
  size_t found = 0;
  for (const std::string& table : db.TableNames()) {
    for (const char* name : {"MSysInfo", "MSysFields", "MSysIndexes", "MSysCounters", "MSysLinks"})
      found += EqualNoCase(table, name);  // a server may keep the names in lower case
  }
  return found == std::size(kTables);
}

void Create(Store& db) {
  for (const CatalogTable& table : kTables) {
    if (!db.FindTable(table.name)) db.Exec(db.CreateTableSql(table.name, table.columns));
  }
}

void SetProperty(Store& db, const std::string& name, const std::string& value) {
  db.Cached(
        "INSERT INTO MSysInfo (Name, Value) VALUES (?1, ?2) "
        "ON CONFLICT (Name) DO UPDATE SET Value = excluded.Value")
      .Bind(1, name)
      .Bind(2, value)
      .Run();
}

void PutField(Store& db, const std::string& table, const std::string& field,
              const FieldEntry& entry) {
  db.Cached(
        "INSERT INTO MSysFields (TableName, FieldName, AllowZeroLength, DefaultValue) "
        "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (TableName, FieldName) DO UPDATE SET "
        "TableName = excluded.TableName, FieldName = excluded.FieldName, "
        "AllowZeroLength = excluded.AllowZeroLength, DefaultValue = excluded.DefaultValue")
      .Bind(1, table)
      .Bind(2, field)
      .Bind(3, entry.allowZeroLength)
      .Bind(4, entry.defaultValue)
      .Run();
}

std::optional<FieldEntry> Field(Store& db, const std::string& table, const std::string& field) {
  Statement s = db.Cached(
      "SELECT AllowZeroLength, DefaultValue FROM MSysFields WHERE TableName = ?1 AND "
      "FieldName = ?2");
  s.Bind(1, table).Bind(2, field);
  if (!s.Step()) return std::nullopt;
  return FieldEntry{s.Int(0) != 0, s.Text(1)};
}

void PutIndex(Store& db, const std::string& table, const std::string& indexName,
              const std::string& storedName, bool primary) {
  // The row may clash on either key: the old one goes whichever it is.
  db.Cached("DELETE FROM MSysIndexes WHERE (TableName = ?1 AND IndexName = ?2) OR StoredName = ?3")
      .Bind(1, table)
      .Bind(2, indexName)
      .Bind(3, storedName)
      .Run();
  db.Cached(
        "INSERT INTO MSysIndexes (TableName, IndexName, StoredName, IsPrimary) "
        "VALUES (?1, ?2, ?3, ?4)")
      .Bind(1, table)
      .Bind(2, indexName)
      .Bind(3, storedName)
      .Bind(4, primary)
      .Run();
}

std::optional<IndexEntry> IndexByStoredName(Store& db, const std::string& storedName) {
  Statement s = db.Cached("SELECT IndexName, IsPrimary FROM MSysIndexes WHERE StoredName = ?1");
  s.Bind(1, storedName);
  if (!s.Step()) return std::nullopt;
  return IndexEntry{s.Text(0), s.Int(1) != 0};
}

std::vector<LinkEntry> Links(Store& db) {
  std::vector<LinkEntry> links;
  Statement s = db.Cached("SELECT Name, Connect, SourceTable FROM MSysLinks");
  while (s.Step())
    links.push_back({s.Text(0), s.Text(1), s.Text(2)});
  return links;
}

void PutLink(Store& db, const LinkEntry& link) {
  db.Cached("INSERT INTO MSysLinks (Name, Connect, SourceTable) VALUES (?1, ?2, ?3)")
      .Bind(1, link.name)
      .Bind(2, link.connect)
      .Bind(3, link.sourceTable)
      .Run();
}

void RenameLink(Store& db, const std::string& from, const std::string& to) {
  db.Cached("UPDATE MSysLinks SET Name = ?2 WHERE Name = ?1").Bind(1, from).Bind(2, to).Run();
}

void DeleteLink(Store& db, const std::string& name) {
  db.Cached("DELETE FROM MSysLinks WHERE Name = ?1").Bind(1, name).Run();
}

void SyncCounters(Store& db) {
  std::vector<std::pair<std::string, std::string>> missing;
  for (const std::string& table : db.TableNames()) {
    std::optional<StoredTable> stored = db.FindTable(table);
    std::optional<CreateTableSql> parsed =
        ParseCreateTable(stored ? stored->definition : std::string());
    if (parsed && parsed->withoutRowid) continue;  // the trigger finds its row by rowid
    for (const StoredColumn& c : db.Columns(table)) {
      if (!StartsWithNoCase(c.declaredType, "COUNTER") &&
          !StartsWithNoCase(c.declaredType, "AUTOINCREMENT")) {
        continue;
      }
      if (!db.IsNumbered(table, c.name)) missing.emplace_back(table, c.name);
    }
  }
  if (missing.empty()) return;
  WriteTransaction transaction(db);
  for (const auto& [table, field] : missing)
    db.NumberColumn(table, field);
  transaction.Commit();
}

void RenameTable(Store& db, const std::string& from, const std::string& to) {
  // ALTER TABLE has moved the triggers to the new name.
  for (const std::string& trigger : db.Triggers(to)) {
    if (trigger.starts_with(kCounterPrefix)) db.Exec("DROP TRIGGER " + QuoteName(trigger));
  }
  for (const char* table : {"MSysFields", "MSysIndexes", "MSysCounters"}) {
    db.Prepare(std::string("UPDATE ") + table + " SET TableName = ?2 WHERE TableName = ?1")
        .Bind(1, from)
        .Bind(2, to)
        .Run();
  }
  SyncCounters(db);
}

void RenameField(Store& db, const std::string& table, const std::string& from,
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

void ForgetTable(Store& db, const std::string& table) {
  for (const char* t : {"MSysFields", "MSysIndexes", "MSysCounters"}) {
    db.Prepare(std::string("DELETE FROM ") + t + " WHERE TableName = ?1").Bind(1, table).Run();
  }
}

void Prune(Store& db) {
  std::vector<std::pair<std::string, std::string>> fields, counters;
  std::vector<std::string> indexes;
  {
    std::map<std::string, std::vector<StoredColumn>, decltype(&LessNoCase)> columns(&LessNoCase);
    Statement s = db.Cached("SELECT TableName, FieldName FROM MSysFields");
    while (s.Step()) {
      std::string table = s.Text(0), field = s.Text(1);
      auto it = columns.find(table);
      if (it == columns.end()) it = columns.emplace(table, db.Columns(table)).first;
      const bool gone =
          std::none_of(it->second.begin(), it->second.end(),
                       [&](const StoredColumn& c) { return EqualNoCase(c.name, field); });
      if (gone) fields.emplace_back(std::move(table), std::move(field));
    }
  }
  {
    Statement s = db.Cached("SELECT StoredName FROM MSysIndexes");
    while (s.Step()) {
      if (!db.NameTaken(s.Text(0))) indexes.push_back(s.Text(0));
    }
  }
  {
    Statement s = db.Cached("SELECT TableName, FieldName FROM MSysCounters");
    while (s.Step()) {
      if (!db.IsNumbered(s.Text(0), s.Text(1))) counters.emplace_back(s.Text(0), s.Text(1));
    }
  }
  if (fields.empty() && indexes.empty() && counters.empty()) return;
  WriteTransaction transaction(db);
  for (const auto& [table, field] : fields) {
    db.Cached("DELETE FROM MSysFields WHERE TableName = ?1 AND FieldName = ?2")
        .Bind(1, table)
        .Bind(2, field)
        .Run();
  }
  for (const std::string& stored : indexes)
    db.Cached("DELETE FROM MSysIndexes WHERE StoredName = ?1").Bind(1, stored).Run();
  for (const auto& [table, field] : counters) {
    db.Cached("DELETE FROM MSysCounters WHERE TableName = ?1 AND FieldName = ?2")
        .Bind(1, table)
        .Bind(2, field)
        .Run();
  }
  transaction.Commit();
}

}  // namespace vorlix::catalog
