// Deleting the relations of a database that meet a test, shared by RelationDelete and
// DeleteTable.
#pragma once

#include <functional>

#include "engine/database/Database.h"

namespace vorlix {

// Reads every relation once, then deletes those for which matches holds, the last in the
// collection first. Raises the engine's failure; relations deleted before it stay deleted.
void DeleteRelationsWhere(CDaoDatabase& database,
                          const std::function<bool(const CDaoRelationInfo&)>& matches);

}  // namespace vorlix
