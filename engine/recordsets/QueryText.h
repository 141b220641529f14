// The text of a query as callers write it, made ready for SQLite: a leading declaration
// "PARAMETERS name type [, name type ...];" is taken off, and each reference to a declared
// parameter by its bracketed name ([Start date]) becomes a numbered SQLite parameter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/schema/FieldType.h"

namespace vorlix {

struct QueryParameter {
  std::string name;
  const FieldType* type;  // values are converted to it as written values are
  int32_t size;
};

struct QueryText {
  std::string sql;  // for SQLite; parameter i is bound as ?(i+1)
  std::vector<QueryParameter> parameters;
};

// Raises 3075 for a declaration that cannot be read, a parameter declared twice, or a quote
// left open.
QueryText ReadQueryText(std::string_view text);

// sql with each column definition of a CREATE TABLE or ALTER TABLE ... ADD statement made to
// keep and compare its values as the engine's own fields do: a type word that names a type
// kept as text but would not get SQLite's text affinity (MEMO) becomes the type's declared
// word, and a Text or Memo column that names no collation gets the general sort order
// (TextCollation.h), compared, sorted and indexed without regard to case like every Text field.
// Names, literals, comments and any other statement stay as they are.
std::string WithEngineColumns(const std::string& sql);

// True when sql holds more than one statement (text after the first ';' that is not just
// more ';').
bool HasSecondStatement(std::string_view sql);

}  // namespace vorlix
