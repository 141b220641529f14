#include "engine/recordsets/SavedQueries.h"

namespace vorlix::catalog {
namespace {

bool TableExists(Store& db) {
  return db.FindTable("MSysQueries").has_value();
}

}  // namespace

std::optional<SavedQuery> FindQuery(Store& db, const std::string& name) {
  if (!TableExists(db)) return std::nullopt;
  Statement s = db.Cached("SELECT Name, SQL FROM MSysQueries WHERE Name = ?1");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return SavedQuery{s.Text(0), s.Text(1)};
}

void PutQuery(Store& db, const SavedQuery& query) {
  if (!TableExists(db)) {
    db.Exec(db.CreateTableSql("MSysQueries",
                              {"Name TEXT PRIMARY KEY COLLATE NOCASE", "SQL TEXT NOT NULL"}));
  }
  db.Cached("INSERT INTO MSysQueries (Name, SQL) VALUES (?1, ?2)")
      .Bind(1, query.name)
      .Bind(2, query.sql)
      .Run();
}

void SetQuerySql(Store& db, const std::string& name, const std::string& sql) {
  db.Cached("UPDATE MSysQueries SET SQL = ?2 WHERE Name = ?1").Bind(1, name).Bind(2, sql).Run();
}

}  // namespace vorlix::catalog
