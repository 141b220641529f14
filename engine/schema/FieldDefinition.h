// Checking the field and index information a caller hands to a table definition, and the SQL
// that makes them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/DaoInfo.h"
#include "engine/schema/FieldType.h"
#include "engine/store/Store.h"

namespace vorlix {

struct FieldSpec {
  std::string name;
  const FieldType* type;
  int32_t size;
  bool autoIncrement;
  bool required;
  bool allowZeroLength;
  std::string defaultText;  // as the caller wrote it
  std::string defaultSql;   // the same as an SQL literal; empty for no default
};

// Raises 3125 for a bad name; 3001 for an unknown type, a size out of the type's range (0
// means the type's usual size), auto-increment on a type other than Long, or a validation
// rule; 3421 when the default does not convert to the type.
FieldSpec CheckField(const CDaoFieldInfo& info);

// The column definition for CREATE TABLE and ALTER TABLE ADD COLUMN in db. An auto-increment
// field is never NOT NULL: its number may be given after the row is inserted.
std::string ColumnSql(Store& db, const FieldSpec& field);

struct IndexSpec {
  std::string name;
  std::vector<std::pair<std::string, bool>> fields;  // name, descending
  bool unique;
  bool primary;
};

// Raises 3125 for a bad index name; 3001 for no fields, a field named twice, or the
// unsupported flags m_bIgnoreNulls and m_bRequired.
IndexSpec CheckIndex(const CDaoIndexInfo& info);

// CREATE [UNIQUE] INDEX storedName ON table (...). A primary index is unique.
std::string CreateIndexSql(const std::string& table, const std::string& storedName,
                           const IndexSpec& index);

}  // namespace vorlix
