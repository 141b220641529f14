#include "engine/recordsets/SavedQueries.h"

namespace vorlix::catalog {
namespace {

bool TableExists(SqliteDb& db) {
  Statement s =
      db.Cached("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'MSysQueries'");
  return s.Step();
}

}  // namespace

std::optional<SavedQuery> FindQuery(SqliteDb& db, const std::string& name) {
  if (!TableExists(db)) return std::nullopt;
  Statement s = db.Cached("SELECT Name, SQL FROM MSysQueries WHERE Name = ?1");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return SavedQuery{s.Text(0), s.Text(1)};
}

void PutQuery(SqliteDb& db, const SavedQuery& query) {
  db.Exec(
      "CREATE TABLE IF NOT EXISTS MSysQueries (Name TEXT PRIMARY KEY COLLATE NOCASE, "
      "SQL TEXT NOT NULL)");
  db.Cached("INSERT INTO MSysQueries (Name, SQL) VALUES (?1, ?2)")
      .Bind(1, query.name)
      .Bind(2, query.sql)
      .Run();
}

void SetQuerySql(SqliteDb& db, const std::string& name, const std::string& sql) {
  db.Cached("UPDATE MSysQueries SET SQL = ?2 WHERE Name = ?1").Bind(1, name).Bind(2, sql).Run();
}

}  // namespace vorlix::catalog
