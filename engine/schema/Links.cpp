#include "engine/schema/Links.h"

#include "engine/DaoException.h"
#include "engine/schema/Schema.h"
#include "engine/store/FilePaths.h"
#include "engine/store/SqlText.h"
#include "engine/store/Sqlite.h"
#include "engine/store/Stores.h"

namespace vorlix {
namespace {

constexpr const char* kLinkSchemaPrefix = "MSysLink ";

}  // namespace

std::string AttachLink(Store& db, const TableEntry& link) {
  const std::string path = LinkPath(link.connect);
  const std::string schema = std::string(kLinkSchemaPrefix) + path;
  if (!db.IsAttached(schema)) {
    // Attaching would make a missing file: check the target first (3024, 3078 ...).
    CheckLinkTarget(path, link.sourceTable);
    db.Attach(path, schema);
  }
  return schema;
}

void GuardLinkedFiles(Store& db) {
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
  if (!NamesFile(path)) {
    ThrowDao(dao_error::kInvalidOperation,
             "A link between a database file and a database on a server is not carried yet.");
  }
  CheckExistingFile(path, false);
  std::string stored = StoredTableName(*SqliteDb::OpenForReading(path), sourceTable);
  if (stored.empty()) {
    ThrowDao(dao_error::kNoSuchTable,
             "The database " + Quoted(path) + " has no table " + Quoted(sourceTable) + ".");
  }
  return stored;
}

}  // namespace vorlix
