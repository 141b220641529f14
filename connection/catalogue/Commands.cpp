#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "engine/recordsets/QueryDef.h"

namespace vorlix {

HRESULT CDBConnection::Command(const Bstr& sCommand, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        int32_t ignored = 0;
        return ExecuteCommand(sCommand, &ignored);
      },
      bSuccess);
}

HRESULT CDBConnection::CommandWithRecords(const Bstr& sCommand, int32_t* iRecordsUpdated,
                                          VARIANT_BOOL* bSuccess) {
  return Call([&] { return ExecuteCommand(sCommand, iRecordsUpdated); }, bSuccess);
}

bool CDBConnection::ExecuteCommand(const Bstr& sql, int32_t* count) {
  // Without a database there is nothing to run, and clients take that as success.
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // Refused before the engine is asked, so a read-only database records no error.
  if (!database_.CanUpdate()) return false;
  CDaoQueryDef command(&database_);
  return Capture([&] {
    command.Create(Bstr(), sql);
    command.Execute(dbFailOnError);
    *count = command.GetRecordsAffected();
  });
}

HRESULT CDBConnection::CreateQuery(const Bstr& sQueryName, const Bstr& sSql,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return SaveQuery(sQueryName, sSql); }, bSuccess);
}

bool CDBConnection::SaveQuery(const Bstr& name, const Bstr& sql) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  CDaoQueryDef query(&database_);
  // Replacing comes first; when there is nothing to replace, its failure stays recorded
  // although the new query is then saved, and clients judge by the result alone.
  if (Capture([&] {
        query.Open(name);
        query.SetSQL(sql);
        query.Close();
      }))
    return true;
  // A query whose statement could not be replaced is still open; closed, the same object can
  // start the new one.
  query.Close();
  return Capture([&] {
    query.Create(name, sql);
    query.Append();
    query.Close();
  });
}

}  // namespace vorlix
