// How the rows of an SQL line are shown: .mode picks the format, .headers whether the field
// names come first.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/shell/Table.h"

namespace vorlix::shell {

enum class RowMode {
  kTable,  // aligned columns
  kCsv,    // RFC 4180, as .import reads it back
  kTsv,    // tab-separated; a tab, line break or backslash inside a value is escaped (\t \n \\)
  kJson,   // an array of objects, one a line; names are always given
  kLine,   // each value on a line of its own, "name = value", rows apart by an empty line
};

struct RowFormat {
  RowMode mode = RowMode::kTable;
  bool headers = true;
};

// The mode of that name ("table", "csv", "tsv", "json", "line"); nullopt for any other.
std::optional<RowMode> RowModeNamed(std::string_view name);

// The value as plain text, as a file holds it: text as itself, Null as nothing, numbers in the
// invariant format, dates "YYYY-MM-DD HH:MM:SS", Booleans "True" or "False" (the forms the
// server reads back into a field of that type); other values as their shell literal.
std::string PlainText(const Variant& value);

// The rows in the format; nothing for no rows (a result without rows carries no names). Rows
// without names have no header, and are bare values in json.
std::string FormatRows(const ResultSet& rows, const RowFormat& format);

}  // namespace vorlix::shell
