#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/schema/DeleteRelations.h"
#include "engine/database/TableDef.h"

namespace vorlix {

HRESULT CDBConnection::RenameTable(const Bstr& sOldName, const Bstr& sNewName,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return RenameTableTo(sOldName, sNewName); }, bSuccess);
}

bool CDBConnection::RenameTableTo(const Bstr& oldName, const Bstr& newName) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // Closed even when the rename then fails; the client opens it again under its new name.
  CloseTable(oldName);
  CDaoTableDef definition(&database_);
  return Capture([&] {
    definition.Open(oldName);
    definition.SetName(newName);
  });
}

HRESULT CDBConnection::DeleteTable(const Bstr& sTableName, VARIANT_BOOL bDeleteRelations,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return DropTable(sTableName, bDeleteRelations); }, bSuccess);
}

bool CDBConnection::DropTable(const Bstr& name, VARIANT_BOOL deleteRelations) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  return Capture([&] {
    // Reading the open tables' names is engine work too, so its failure is captured here.
    CloseTableNamed(name);
    // Only VARIANT_TRUE itself asks for the relations to go; 1 does not.
    if (deleteRelations == VARIANT_TRUE) {
      DeleteRelationsWhere(database_, [&](const CDaoRelationInfo& relation) {
        return relation.m_strTable == name || relation.m_strForeignTable == name;
      });
    }
    database_.DeleteTableDef(name);
  });
}

HRESULT CDBConnection::LinkTable(const Bstr& sTableName, const Bstr& sDatabaseName,
                                 const Bstr& sSourceTable, VARIANT_BOOL* bCreated,
                                 VARIANT_BOOL* bSuccess) {
  return Call([&] { return MakeLink(sTableName, sDatabaseName, sSourceTable, bCreated); },
              bSuccess);
}

bool CDBConnection::MakeLink(const Bstr& name, const Bstr& file, const Bstr& source,
                             VARIANT_BOOL* created) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // The path goes on character for character, unquoted: the engine judges it.
  const Bstr connect(u";DATABASE=" + file.str());
  CDaoTableDef definition(&database_);
  const bool made = Capture([&] {
    definition.Create(name, 0, source, connect);
    definition.Append();
    definition.RefreshLink();
    definition.Close();
  });
  // The outcome is *created; the reason of a failure is in the error record.
  *created = ToVariantBool(made);
  return true;
}

}  // namespace vorlix
