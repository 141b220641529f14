// ColumnValues: one column of a batch of rows, its values in the vector their type selects
// rather than a Variant each. The server builds it from a statement's cells, the wire carries
// it as a typed array or packed bytes, and the client reads it back as the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "automation/Variant.h"

namespace vorlix {

// Integers of every width, Booleans (0 or 1) and currency (in ten-thousandths) sit in int64_t;
// VT_R4, VT_R8 and dates (days since 1899-12-30) in double; text as UTF-8 without U+0000; a
// column whose values differ in type, or cannot share an array (binary values, other text), as
// Variants (type VT_VARIANT). A Null's element holds the type's zero (VT_NULL among Variants),
// and nulls[row] is 1; nulls is empty when the column has no Null.
struct ColumnValues {
  VARTYPE type = VT_EMPTY;  // the element type of the column's array (VT_VARIANT: mixed)
  std::variant<std::vector<int64_t>, std::vector<double>, std::vector<std::string>,
               std::vector<Variant>>
      values;
  std::vector<uint8_t> nulls;

  friend bool operator==(const ColumnValues&, const ColumnValues&) = default;
};

// The value at row as a Variant of the column's type (VT_NULL for a Null).
Variant ValueAt(const ColumnValues& column, size_t row);

}  // namespace vorlix
