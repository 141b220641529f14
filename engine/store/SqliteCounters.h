// How the SQLite store numbers auto-increment fields that are not the rowid: a row of the
// catalog table MSysCounters (TableName, FieldName, LastValue) per field, moved on by a trigger
// "MSysCounter table.field" after each insert, so that numbers are never reused, even for
// rows inserted by plain SQL. The engine's catalog keeps the rows in step with renames and
// drops; the store makes them.
#pragma once

#include <string>

namespace vorlix {

inline constexpr char kCounterPrefix[] = "MSysCounter ";

// The name of the trigger that numbers field of table.
inline std::string CounterTrigger(const std::string& table, const std::string& field) {
  return kCounterPrefix + table + "." + field;
}

}  // namespace vorlix
