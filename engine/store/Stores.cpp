#include "engine/store/Stores.h"

#include "engine/DaoException.h"
#include "engine/store/FilePaths.h"
#include "engine/store/Postgres.h"
#include "engine/store/Sqlite.h"

namespace vorlix {

bool NamesFile(const std::string& name) {
  return !IsPostgresUri(name);
}

void CheckExisting(const std::string& name, bool write) {
  if (NamesFile(name)) CheckExistingFile(name, write);
}

void CheckNew(const std::string& name) {
  if (NamesFile(name)) CheckNewFile(name);
}

std::unique_ptr<Store> OpenStore(const std::string& name, bool exclusive, bool readOnly) {
  if (!NamesFile(name)) return PostgresDb::Connect(name, exclusive, readOnly);
  return SqliteDb::OpenFile(name, exclusive, readOnly);
}

std::unique_ptr<Store> CreateStore(const std::string& name) {
  if (!NamesFile(name)) return PostgresDb::CreateDatabase(name);
  return SqliteDb::CreateFile(name);
}

std::unique_ptr<Store> CompactStore(const std::string& from, const std::string& to) {
  if (NamesFile(from)) return SqliteDb::CompactInto(from, to);
  if (to != from) {
    ThrowDao(dao_error::kInvalidArgument,
             "A database on a server is compacted where it is: name it as the destination too.");
  }
  PostgresDb::Vacuum(from);
  return PostgresDb::Connect(from, false, false);
}

void RemoveCreated(const std::string& name) {
  if (NamesFile(name)) RemoveDatabaseFiles(name);
}

}  // namespace vorlix
