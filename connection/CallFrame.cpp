#include "connection/CallFrame.h"

#include "connection/Connection.h"

namespace vorlix {

bool CDBConnection::Enter(ErrorFlag flag, int checks) {
  if (flag == ErrorFlag::kClear) errorFlag_ = false;
  if (checks >= 1 && !StatusUsable()) return false;
  if (checks >= 2 && !database_.IsOpen()) return false;
  if (checks >= 3 && tables_.empty()) return false;
  if (checks >= 4 && !tables_.front()) return false;
  if (checks >= 5 && !tables_.front()->IsOpen()) return false;
  return true;
}

bool CDBConnection::StatusUsable() const {
  const int32_t status = database_.GetStatus();
  return status == 0 || status == 1;
}

}  // namespace vorlix
