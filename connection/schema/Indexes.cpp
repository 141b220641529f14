#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/schema/FieldRecords.h"

namespace vorlix {

HRESULT CDBConnection::CreateIndex(const Bstr& sTableName, const Bstr& sFieldName,
                                   VARIANT_BOOL bUnique, VARIANT_BOOL bPrimary,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return AddIndex(sTableName, sFieldName, bUnique != 0, bPrimary != 0); },
              bSuccess);
}

bool CDBConnection::AddIndex(const Bstr& table, const Bstr& field, bool unique, bool primary) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // The table stays open in the open-table list: whether an index may be added to a table in
  // use is the engine's verdict.
  CDaoTableDef definition(&database_);
  return Capture([&] {
    definition.Open(table);
    definition.CreateIndex(SingleFieldIndex(field, false, unique, primary));
    definition.Close();
  });
}

}  // namespace vorlix
