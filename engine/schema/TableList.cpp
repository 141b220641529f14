#include "engine/schema/TableList.h"

#include <algorithm>

#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {

std::vector<TableEntry> ReadTableList(Store& db, bool hasCatalog) {
  std::vector<TableEntry> list;
  for (std::string& name : db.TableNames()) {
    TableEntry table;
    table.name = std::move(name);
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
