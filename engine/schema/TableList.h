// The table definitions of a database: its tables (the MSys catalog tables among them, as
// system tables) and its links, in name order without regard to case. SQLite's own sqlite_*
// tables and views are not table definitions.
#pragma once

#include <string>
#include <vector>

#include "engine/store/Store.h"

namespace vorlix {

struct TableEntry {
  std::string name;
  bool isLink = false;
  std::string connect;      // links only
  std::string sourceTable;  // links only
};

std::vector<TableEntry> ReadTableList(Store& db, bool hasCatalog);

}  // namespace vorlix
