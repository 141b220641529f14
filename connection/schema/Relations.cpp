#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/schema/DeleteRelations.h"

namespace vorlix {

void DeleteRelationsWhere(CDaoDatabase& database,
                          const std::function<bool(const CDaoRelationInfo&)>& matches) {
  // All names first: the collection is never changed while it is walked. Deleting the last
  // first keeps the others' names: an unnamed relation is called after its tables and
  // numbered after the ones before it, which an earlier deletion would renumber.
  std::vector<Bstr> names;
  for (int i = 0; i < database.GetRelationCount(); ++i) {
    CDaoRelationInfo relation;
    database.GetRelationInfo(i, relation, AFX_DAO_PRIMARY_INFO);
    if (matches(relation)) names.push_back(relation.m_strName);
  }
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    database.DeleteRelation(*name);
}

HRESULT CDBConnection::RelationExists(const Bstr& sRelationName, VARIANT_BOOL* bExists,
                                      VARIANT_BOOL* bSuccess) {
  return Call([&] { return FindRelation(sRelationName, bExists); }, bSuccess);
}

bool CDBConnection::FindRelation(const Bstr& name, VARIANT_BOOL* exists) {
  *exists = VARIANT_FALSE;
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  return Capture([&] {
    CDaoRelationInfo relation;
    try {
      database_.GetRelationInfo(name, relation, AFX_DAO_PRIMARY_INFO);
    } catch (const CDaoException& failure) {
      // "Not in the collection" is the answer no, not a failure.
      if (failure.Code() == dao_error::kItemNotFound) return;
      throw;
    }
    *exists = VARIANT_TRUE;
  });
}

HRESULT CDBConnection::RelationDelete(const Bstr& sTableName, const Bstr& sForeignTableName,
                                      VARIANT_BOOL* bSuccess) {
  return Call([&] { return DropRelations(sTableName, sForeignTableName); }, bSuccess);
}

bool CDBConnection::DropRelations(const Bstr& table, const Bstr& foreignTable) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // Directional and exact: the names as the engine reports them, letter case included.
  return Capture([&] {
    DeleteRelationsWhere(database_, [&](const CDaoRelationInfo& relation) {
      return relation.m_strTable == table && relation.m_strForeignTable == foreignTable;
    });
  });
}

}  // namespace vorlix
