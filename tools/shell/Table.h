// Rows of values as text: a result-set array taken apart into field names and rows, and cells
// laid out in aligned columns.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "automation/Variant.h"

namespace vorlix::shell {

struct ResultSet {
  std::vector<std::string> names;          // the fields; none when not known
  std::vector<std::vector<Variant>> rows;  // a value per field
};

// The rows of a result-set array's elements: each row opened by "*NewRecord*", then name/value
// pairs, every row with the names of the first. nullopt when the elements are not one. Rows are
// found by position: the marker opens row 0 and the next marker at an odd index opens row 1
// (values sit at even indices, so a value that reads "*NewRecord*" is not taken for one).
std::optional<ResultSet> AsResultSet(const std::vector<Variant>& elements);

// The rows of what SQL or Query hand out: VT_EMPTY for no rows, a result-set array, or for a
// result of one column its values bare, with no name (names is then empty).
ResultSet QueryRows(const Variant& value);

// Cells in columns as wide as their widest cell (counted in characters), two spaces apart, each
// line starting with indent; the last column is not padded. With a header, its row comes first
// and a rule of dashes under it.
std::string AlignedColumns(const std::vector<std::string>& header,
                           const std::vector<std::vector<std::string>>& cells,
                           const std::string& indent);

}  // namespace vorlix::shell
