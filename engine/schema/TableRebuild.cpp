#include "engine/schema/TableRebuild.h"

#include "engine/DaoException.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

void RebuildInTransaction(SqliteDb& db, const TableSchema& table, const std::string& createSql,
                          const std::vector<std::pair<std::string, std::string>>& newColumns,
                          const std::function<void()>& alsoInside) {
  WriteTransaction transaction(db);
  std::vector<std::string> remake;
  Statement s = db.Prepare(
      "SELECT sql FROM sqlite_schema WHERE tbl_name = ?1 AND type IN ('index', 'trigger') "
      "AND sql IS NOT NULL");
  s.Bind(1, table.name);
  while (s.Step())
    remake.push_back(s.Text(0));

  db.Exec(createSql);
  // The rowid is copied unless a column is the rowid already (or there is none).
  bool rowidColumn = !table.hasRowid;
  for (const IndexSchema& index : table.indexes)
    rowidColumn |= index.storedName.empty();
  std::string columns = rowidColumn ? "" : "rowid";
  std::string values = columns;
  for (const FieldSchema& f : table.fields) {
    columns += (columns.empty() ? "" : ", ") + QuoteName(f.name);
    values += (values.empty() ? "" : ", ") + QuoteName(f.name);
  }
  for (const auto& [column, value] : newColumns) {
    columns += ", " + QuoteName(column);
    values += ", " + value;
  }
  const std::string quoted = QuoteName(table.name);
  db.Exec("INSERT INTO " + QuoteName(kRebuildName) + " (" + columns + ") SELECT " + values +
          " FROM " + quoted + ";\nDROP TABLE " + quoted + ";\nALTER TABLE " +
          QuoteName(kRebuildName) + " RENAME TO " + quoted);
  for (const std::string& sql : remake)
    db.Exec(sql);

  Statement check = db.Prepare("SELECT 1 FROM pragma_foreign_key_check(?1)");
  check.Bind(1, table.name);
  if (check.Step()) {
    ThrowDao(dao_error::kRelatedRecordRequired,
             "Rows of " + Quoted(table.name) + " would lack their related records.");
  }
  if (alsoInside) alsoInside();
  transaction.Commit();
}

}  // namespace

void RebuildTable(SqliteDb& db, const TableSchema& table, const std::string& createSql,
                  const std::vector<std::pair<std::string, std::string>>& newColumns,
                  const std::function<void()>& alsoInside) {
  // Foreign keys are switched off around the transaction (it cannot be done inside one), so
  // that dropping the old table does not act on the rows that refer to it.
  db.Exec("PRAGMA foreign_keys = OFF");
  try {
    RebuildInTransaction(db, table, createSql, newColumns, alsoInside);
  } catch (...) {
    db.Exec("PRAGMA foreign_keys = ON");
    throw;
  }
  db.Exec("PRAGMA foreign_keys = ON");
}

}  // namespace vorlix
