#include "engine/schema/Links.h"

#include "engine/DaoException.h"
#include "engine/schema/Schema.h"
#include "engine/store/FilePaths.h"
#include "engine/store/SqlText.h"
#include "engine/store/Sqlite.h"

namespace vorlix {
namespace {

constexpr const char* kLinkSchemaPrefix = "MSysLink ";

}  // namespace

std::string AttachLink(SqliteDb& db, const TableEntry& link) {
  const std::string path = LinkPath(link.connect);
  const std::string schema = std::string(kLinkSchemaPrefix) + path;
  Statement listed = db.Cached("SELECT 1 FROM pragma_database_list WHERE name = ?1");
  listed.Bind(1, schema);
  if (!listed.Step()) {
    // ATTACH would make a missing file: check the target first (3024, 3078 ...).
    CheckLinkTarget(path, link.sourceTable);
    db.Prepare("ATTACH DATABASE ?1 AS ?2").Bind(1, path).Bind(2, schema).Run();
  }
  return schema;
}

void GuardLinkedFiles(SqliteDb& db) {
  db.RefuseDefinitionsIn(kLinkSchemaPrefix);
}

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
