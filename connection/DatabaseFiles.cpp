#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "engine/DaoInfo.h"
#include "engine/database/Workspace.h"

// Both work on files by name and leave this connection's own database and tables alone. The
// locale gives new files the general sort order; options 0, the default format.

namespace vorlix {

HRESULT CDBConnection::CreateDatabase(const Bstr& sDatabaseName, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        // No entry: the flag is kept and no database need be open. The temporary object
        // closes the new file when it goes, after a failure too.
        CDaoDatabase created;
        return Capture([&] {
          created.Create(sDatabaseName, dbLangGeneral, 0);
          created.Close();
        });
      },
      bSuccess);
}

HRESULT CDBConnection::Compact(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        Enter(ErrorFlag::kClear, 0);
        return Capture(
            [&] { CDaoWorkspace::CompactDatabase(sOldName, sNewName, dbLangGeneral, 0); });
      },
      bSuccess);
}

}  // namespace vorlix
