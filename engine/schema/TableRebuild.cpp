#include "engine/schema/TableRebuild.h"

#include "engine/DaoException.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

void RebuildInTransaction(Store& db, const TableSchema& table, const std::string& createSql,
                          const std::vector<std::pair<std::string, std::string>>& newColumns,
                          const std::function<void()>& alsoInside) {
  WriteTransaction transaction(db);
  const std::vector<std::string> remake = db.DependentDefinitions(table.name);

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

  if (db.LacksRelatedRecords(table.name)) {
    ThrowDao(dao_error::kRelatedRecordRequired,
             "Rows of " + Quoted(table.name) + " would lack their related records.");
  }
  if (alsoInside) alsoInside();
  transaction.Commit();
}

}  // namespace

void RebuildTable(Store& db, const TableSchema& table, const std::string& createSql,
                  const std::vector<std::pair<std::string, std::string>>& newColumns,
                  const std::function<void()>& alsoInside) {
  // Foreign keys are switched off around the transaction (it cannot be done inside one), so
  // that dropping the old table does not act on the rows that refer to it.
  db.EnforceRelations(false);
  try {
    RebuildInTransaction(db, table, createSql, newColumns, alsoInside);
  } catch (...) {
    db.EnforceRelations(true);
    throw;
  }
  db.EnforceRelations(true);
}

}  // namespace vorlix
