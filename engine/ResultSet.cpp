#include "engine/ResultSet.h"

#include <sqlite3.h>

#include "engine/ColumnValue.h"
#include "engine/Names.h"

namespace vorlix {

std::vector<RecordField> TableFields(const TableSchema& table) {
  std::vector<RecordField> fields;
  for (const FieldSchema& f : table.fields)
    fields.push_back({f.info, f.name, f.type, f.autoIncrement});
  return fields;
}

namespace {

int16_t CodeOfStorage(const std::vector<Row>& rows, size_t column) {
  for (const Row& row : rows) {
    switch (row.values[column].kind) {
      case StoredValue::kInteger:
        return dbLong;
      case StoredValue::kReal:
        return dbDouble;
      case StoredValue::kBlob:
        return dbLongBinary;
      case StoredValue::kText:
        return dbMemo;
      case StoredValue::kNull:
        break;
    }
  }
  return dbMemo;
}

}  // namespace

ResultSet ReadResultSet(Statement& stmt) {
  sqlite3_stmt* s = stmt.handle();
  const int columns = sqlite3_column_count(s);
  ResultSet result;
  while (stmt.Step()) {
    Row row;
    row.rowid = static_cast<int64_t>(result.rows.size());
    row.values.reserve(columns);
    for (int c = 0; c < columns; ++c)
      row.values.push_back(ReadColumn(stmt, c));
    result.rows.push_back(std::move(row));
  }
  for (int c = 0; c < columns; ++c) {
    RecordField f;
    const char* name = sqlite3_column_name(s, c);  // null only when memory ran out
    f.name = name ? name : "";
    const char* declared = sqlite3_column_decltype(s, c);
    const bool fromTable = declared && sqlite3_column_origin_name(s, c);
    DeclaredType dt{};
    if (fromTable) dt = ParseDeclaredType(declared);
    f.type = fromTable ? dt.type : nullptr;
    f.autoIncrement = fromTable && dt.autoIncrement;
    const FieldType* reported = f.type ? f.type : FieldTypeByCode(CodeOfStorage(result.rows, c));
    f.info.m_strName = ToBstr(f.name);
    f.info.m_nType = reported->code;
    f.info.m_lSize = f.type ? dt.size : reported->size;
    f.info.m_lAttributes = FieldAttributes(*reported, f.autoIncrement);
    f.info.m_nOrdinalPosition = static_cast<int16_t>(c);
    f.info.m_bAllowZeroLength = reported->noCase;
    if (fromTable) {
      f.info.m_strSourceField = ToBstr(sqlite3_column_origin_name(s, c));
      f.info.m_strSourceTable = ToBstr(sqlite3_column_table_name(s, c));
    }
    result.fields.push_back(std::move(f));
  }
  return result;
}

}  // namespace vorlix
