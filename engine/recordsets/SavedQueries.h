// Saved queries: the catalog table MSysQueries (Name, SQL), names matched without regard to
// case. The table is made with the first saved query, so files that never save one keep the
// catalog they were created with.
#pragma once

#include <optional>
#include <string>

#include "engine/store/Store.h"

namespace vorlix::catalog {

struct SavedQuery {
  std::string name;  // as stored
  std::string sql;
};

std::optional<SavedQuery> FindQuery(Store& db, const std::string& name);

// Stores a new query; the caller has checked that the name is free. Needs a write transaction.
void PutQuery(Store& db, const SavedQuery& query);

// Replaces the statement of the saved query name.
void SetQuerySql(Store& db, const std::string& name, const std::string& sql);

}  // namespace vorlix::catalog
