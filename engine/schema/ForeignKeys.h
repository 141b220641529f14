// The relations of a database: its foreign keys, each reported with the referenced table as
// the primary table and the table holding the key as the foreign one. A relation is named by
// its constraint name; an unnamed one is called after its two tables, primary then foreign
// ("CustomersOrders"), with a number appended when that name is taken ("CustomersOrders1").
// Relations are listed by foreign table in name order, then in the order they were declared.
#pragma once

#include <string>
#include <vector>

#include "engine/DaoInfo.h"
#include "engine/store/Store.h"

namespace vorlix {

struct RelationSchema {
  CDaoRelationInfo info;     // filled whole
  std::string name;          // UTF-8 of info.m_strName
  std::string primaryTable;  // stored table names (UTF-8)
  std::string foreignTable;
  size_t clause;  // which foreign key of the foreign table's statement, as written
};

std::vector<RelationSchema> ReadRelations(Store& db);

}  // namespace vorlix
