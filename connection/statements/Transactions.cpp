#include "connection/CallFrame.h"
#include "connection/Connection.h"

namespace vorlix {

HRESULT CDBConnection::BeginTrans(VARIANT_BOOL* bSuccess) {
  return Call([&] { return Enter(ErrorFlag::kClear, 1) && Capture([&] { transaction_.Begin(); }); },
              bSuccess);
}

HRESULT CDBConnection::CommitTrans(VARIANT_BOOL* bSuccess) {
  return Call(
      [&] { return Enter(ErrorFlag::kClear, 1) && Capture([&] { transaction_.Commit(); }); },
      bSuccess);
}

HRESULT CDBConnection::Rollback(VARIANT_BOOL* bSuccess) {
  return Call(
      [&] { return Enter(ErrorFlag::kClear, 1) && Capture([&] { transaction_.Rollback(); }); },
      bSuccess);
}

}  // namespace vorlix
