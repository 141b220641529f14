#include "engine/Links.h"

#include "engine/DaoException.h"
#include "engine/FilePaths.h"
#include "engine/Schema.h"
#include "engine/SqlText.h"
#include "engine/Sqlite.h"

namespace vorlix {

std::string LinkPath(const std::string& connect) {
  constexpr std::string_view kPrefix = ";DATABASE=";
  if (connect.size() < kPrefix.size() ||
      !EqualNoCase(std::string_view(connect).substr(0, kPrefix.size()), kPrefix)) {
    ThrowDao(dao_error::kInvalidArgument,
             "The connect string " + Quoted(connect) + " does not have the form ;DATABASE=path.");
  }
  std::string path = connect.substr(kPrefix.size());
  if (path.empty()) ThrowDao(dao_error::kInvalidPath, "The link names no database file.");
  return SqliteName(path);
}

std::string CheckLinkTarget(const std::string& path, const std::string& sourceTable) {
  CheckExistingFile(path, false);
  SqliteDb db(path, ReadingFlags(path));
  std::string stored = StoredTableName(db, sourceTable);
  if (stored.empty()) {
    ThrowDao(dao_error::kNoSuchTable,
             "The database " + Quoted(path) + " has no table " + Quoted(sourceTable) + ".");
  }
  return stored;
}

}  // namespace vorlix
