// The fields a recordset reports, for a table and for the result of a query, and the reading
// of a query's whole result.
#pragma once

#include <string>
#include <vector>

#include "engine/DaoInfo.h"
#include "engine/FieldType.h"
#include "engine/Schema.h"
#include "engine/Sqlite.h"
#include "engine/TableCursor.h"

namespace vorlix {

struct RecordField {
  CDaoFieldInfo info;
  std::string name;
  const FieldType* type;  // nullptr for a computed column: its values keep their storage class
  bool autoIncrement;
};

std::vector<RecordField> TableFields(const TableSchema& table);

struct ResultSet {
  std::vector<RecordField> fields;
  std::vector<Row> rows;  // each numbered from 0 in place of a rowid
};

// Steps stmt to its end. A column taken straight from a table column has that column's field
// type; any other column is computed and reported by the storage class of its first value
// that is not Null (Memo when there is none).
ResultSet ReadResultSet(Statement& stmt);

}  // namespace vorlix
