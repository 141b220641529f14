#include "engine/Links.h"

#include <sqlite3.h>

#include <string_view>

#include "engine/DaoException.h"
#include "engine/FilePaths.h"
#include "engine/Schema.h"
#include "engine/SqlText.h"
#include "engine/Sqlite.h"

namespace vorlix {
namespace {

constexpr std::string_view kLinkSchemaPrefix = "MSysLink ";

int RefuseLinkedDefinitions(void*, int action, const char* arg1, const char*, const char* schema,
                            const char*) {
  switch (action) {
    case SQLITE_ALTER_TABLE:
      schema = arg1;  // ALTER TABLE gives its schema first
      break;
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
      break;
    default:
      return SQLITE_OK;
  }
  const bool linked = schema && std::string_view(schema).starts_with(kLinkSchemaPrefix);
  return linked ? SQLITE_DENY : SQLITE_OK;
}

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
  sqlite3_set_authorizer(db.handle(), RefuseLinkedDefinitions, nullptr);
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
