#include "engine/schema/ForeignKeys.h"

#include <map>

#include "engine/schema/TableList.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

struct Key {
  std::string table;
  std::vector<std::pair<std::string, std::string>> columns;  // (primary, foreign)
  std::string onUpdate, onDelete;
};

// The primary key columns of table, for a foreign key that names no columns.
std::vector<std::string> PrimaryKeyColumns(SqliteDb& db, const std::string& table) {
  std::vector<std::string> columns;
  Statement s = db.Cached("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
  s.Bind(1, table);
  while (s.Step())
    columns.push_back(s.Text(0));
  return columns;
}

// The foreign keys of table in the order written (SQLite numbers them the other way round).
std::vector<Key> ForeignKeys(SqliteDb& db, const std::string& table) {
  std::map<int64_t, Key> byId;
  Statement s = db.Cached(
      "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete "
      "FROM pragma_foreign_key_list(?1) ORDER BY id, seq");
  s.Bind(1, table);
  while (s.Step()) {
    Key& key = byId[s.Int(0)];
    key.table = s.Text(1);
    key.columns.emplace_back(s.IsNull(3) ? std::string() : s.Text(3), s.Text(2));
    key.onUpdate = s.Text(4);
    key.onDelete = s.Text(5);
  }
  std::vector<Key> keys;
  for (auto it = byId.rbegin(); it != byId.rend(); ++it)
    keys.push_back(std::move(it->second));
  for (Key& key : keys) {
    if (key.columns.front().first.empty()) {
      std::vector<std::string> pk = PrimaryKeyColumns(db, key.table);
      for (size_t i = 0; i < key.columns.size() && i < pk.size(); ++i) {
        key.columns[i].first = pk[i];
      }
    }
  }
  return keys;
}

}  // namespace

std::vector<RelationSchema> ReadRelations(SqliteDb& db) {
  std::vector<TableEntry> tables = ReadTableList(db, false);
  auto storedName = [&](const std::string& name) {
    for (const TableEntry& t : tables) {
      if (EqualNoCase(t.name, name)) return t.name;
    }
    return name;
  };

  std::vector<RelationSchema> relations;
  for (const TableEntry& table : tables) {
    std::vector<Key> keys = ForeignKeys(db, table.name);
    if (keys.empty()) continue;
    Statement s = db.Cached("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1");
    s.Bind(1, table.name);
    s.Step();
    std::optional<CreateTableSql> parsed = ParseCreateTable(s.Text(0));
    const bool clausesKnown = parsed && parsed->foreignKeys.size() == keys.size();
    for (size_t i = 0; i < keys.size(); ++i) {
      RelationSchema r;
      r.primaryTable = storedName(keys[i].table);
      r.foreignTable = table.name;
      r.clause = i;
      if (clausesKnown) r.name = parsed->foreignKeys[i].name;
      r.info.m_strTable = Bstr::FromUtf8Lossy(r.primaryTable);
      r.info.m_strForeignTable = Bstr::FromUtf8Lossy(r.foreignTable);
      if (keys[i].onUpdate == "CASCADE") r.info.m_lAttributes |= dbRelationUpdateCascade;
      if (keys[i].onDelete == "CASCADE") r.info.m_lAttributes |= dbRelationDeleteCascade;
      for (const auto& [primary, foreign] : keys[i].columns) {
        r.info.m_fieldInfos.push_back({Bstr::FromUtf8Lossy(primary), Bstr::FromUtf8Lossy(foreign)});
      }
      relations.push_back(std::move(r));
    }
  }

  auto taken = [&](const std::string& name) {
    for (const RelationSchema& r : relations) {
      if (EqualNoCase(r.name, name)) return true;
    }
    return false;
  };
  for (RelationSchema& r : relations) {
    if (r.name.empty()) {
      const std::string base = r.primaryTable + r.foreignTable;
      std::string name = base;
      for (int n = 1; taken(name); ++n)
        name = base + std::to_string(n);
      r.name = name;
    }
    r.info.m_strName = Bstr::FromUtf8Lossy(r.name);
  }
  return relations;
}

}  // namespace vorlix
