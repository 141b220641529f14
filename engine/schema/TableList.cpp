#include "engine/schema/TableList.h"

#include <algorithm>

#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {

std::vector<TableEntry> ReadTableList(SqliteDb& db, bool hasCatalog) {
  std::vector<TableEntry> list;
  Statement s = db.Cached(
      "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
      "ESCAPE '\\'");
  while (s.Step()) {
    TableEntry table;
    table.name = s.Text(0);
    list.push_back(std::move(table));
  }
  if (hasCatalog) {
    for (catalog::LinkEntry& link : catalog::Links(db)) {
      list.push_back(
          {std::move(link.name), true, std::move(link.connect), std::move(link.sourceTable)});
    }
  }
  std::sort(list.begin(), list.end(), [](const TableEntry& a, const TableEntry& b) {
    return LessNoCase(a.name, b.name) || (EqualNoCase(a.name, b.name) && a.name < b.name);
  });
  return list;
}

}  // namespace vorlix
