// Rebuilding a table for the changes ALTER TABLE cannot make (dropping a foreign key, adding a
// required field to a table that has rows), the way SQLite documents it: a new table is made
// from the changed statement, the rows are copied with their rowids (bookmarks stay valid),
// the old table is dropped, the new one takes its name, and the table's indexes and triggers
// are made again. All in one transaction; relations are checked before it commits.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/schema/Schema.h"
#include "engine/store/Store.h"

namespace vorlix {

// The name the new table is made under while the old one still exists.
inline constexpr char kRebuildName[] = "MSysRebuild";

// createSql makes the new table under kRebuildName. Every column of table is copied; each
// (column, SQL value) of newColumns fills a column that only the new table has. Raises 3201
// when a row would break a relation, 3262 when the table is in use. alsoInside runs in the
// same transaction, after the rebuild (catalog rows that go with the change).
void RebuildTable(Store& db, const TableSchema& table, const std::string& createSql,
                  const std::vector<std::pair<std::string, std::string>>& newColumns,
                  const std::function<void()>& alsoInside = {});

}  // namespace vorlix
