// The schema reader: the fields and indexes of one table as the engine reports them, the same
// whether the table was made through a table definition or by plain SQL. Table definitions
// and recordsets both describe tables through it.
#pragma once

#include <string>
#include <vector>

#include "engine/DaoInfo.h"
#include "engine/schema/FieldType.h"
#include "engine/store/Store.h"

namespace vorlix {

struct FieldSchema {
  CDaoFieldInfo info;  // filled whole
  std::string name;    // the column's name (UTF-8)
  const FieldType* type;
  bool autoIncrement;
};

struct IndexSchema {
  CDaoIndexInfo info;                // filled whole
  std::string storedName;            // SQLite's name of the index; empty for the rowid primary key
  std::vector<std::string> columns;  // key columns (UTF-8), in key order
  std::vector<std::string> collations;  // the collation that orders each key column
};

struct TableSchema {
  std::string name;                  // as stored, whatever case it was asked for in
  std::string sql;                   // the CREATE TABLE statement
  bool hasRowid;                     // false for WITHOUT ROWID tables
  std::vector<FieldSchema> fields;   // in column order
  std::vector<IndexSchema> indexes;  // in name order
};

// Reads table (matched without regard to case). hasCatalog says whether the MSys tables exist
// (a plain SQLite file opened read-only has none). Raises 3078 when there is no such table.
TableSchema ReadTableSchema(Store& db, bool hasCatalog, const std::string& table);

// The stored name of table, matched without regard to case, or "" when there is none.
std::string StoredTableName(Store& db, const std::string& table);

}  // namespace vorlix
