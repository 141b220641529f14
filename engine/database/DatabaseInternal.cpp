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

Store& DatabaseInternal::Db() {
  if (!d_.open_) ThrowDao(dao_error::kInvalidOperation, "No database is open.");
  return *d_.open_->db;
}

void DatabaseInternal::SchemaChanged() {
  d_.cache_ = CDaoDatabase::Cache();
  ++d_.schemaChanges_;
}

void DatabaseInternal::Revalidate() {
  const Store::Versions now = Db().CurrentVersions();
  if (now != d_.cache_.versions) {
    d_.cache_ = CDaoDatabase::Cache();
    d_.cache_.versions = now;
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
