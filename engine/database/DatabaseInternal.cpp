#include "engine/database/DatabaseInternal.h"

#include <algorithm>
#include <memory>

#include "engine/DaoException.h"

namespace vorlix {

void DatabaseInternal::AddDependent(CDaoDatabase::Dependent* dependent) {
  d_.dependents_.push_back(dependent);
}

void DatabaseInternal::RemoveDependent(CDaoDatabase::Dependent* dependent) {
  d_.dependents_.erase(std::remove(d_.dependents_.begin(), d_.dependents_.end(), dependent),
                       d_.dependents_.end());
}

SqliteDb& DatabaseInternal::Db() {
  if (!d_.open_) ThrowDao(dao_error::kInvalidOperation, "No database is open.");
  return *d_.open_->db;
}

void DatabaseInternal::SchemaChanged() {
  d_.cache_ = CDaoDatabase::Cache();
  ++d_.schemaChanges_;
}

void DatabaseInternal::Revalidate() {
  SqliteDb& db = Db();
  Statement schema = db.Cached("PRAGMA schema_version");
  schema.Step();
  Statement data = db.Cached("PRAGMA data_version");
  data.Step();
  if (schema.Int(0) != d_.cache_.schemaVersion || data.Int(0) != d_.cache_.dataVersion) {
    d_.cache_ = CDaoDatabase::Cache();
    d_.cache_.schemaVersion = schema.Int(0);
    d_.cache_.dataVersion = data.Int(0);
  }
}

const std::vector<TableEntry>& DatabaseInternal::Tables() {
  Revalidate();
  if (!d_.cache_.tables) {
    d_.cache_.tables = std::make_unique<std::vector<TableEntry>>(ReadTableList(Db(), HasCatalog()));
  }
  return *d_.cache_.tables;
}

const std::vector<RelationSchema>& DatabaseInternal::Relations() {
  Revalidate();
  if (!d_.cache_.relations) {
    d_.cache_.relations = std::make_unique<std::vector<RelationSchema>>(ReadRelations(Db()));
  }
  return *d_.cache_.relations;
}

}  // namespace vorlix
