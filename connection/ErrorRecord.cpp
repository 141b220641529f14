#include "connection/CallFrame.h"
#include "connection/Connection.h"

namespace vorlix {

void CDBConnection::RecordError(const CDaoException& failure) {
  errorFlag_ = true;
  errorCode_ = failure.Code();
  errorDescription_ = failure.Description();
}

HRESULT CDBConnection::StatusIsOk(VARIANT_BOOL* bStatusIsOk) {
  return Call([&] { return Enter(ErrorFlag::kKeep, 1); }, bStatusIsOk);
}

HRESULT CDBConnection::IsDAOError(VARIANT_BOOL* bError) {
  return Call([&] { return errorFlag_; }, bError);
}

HRESULT CDBConnection::GetLastDAOError(int32_t* plErrorCode, Bstr* pbsDescription) {
  return Call([&] {
    *pbsDescription = errorDescription_;
    *plErrorCode = errorCode_;
  });
}

HRESULT CDBConnection::GetVorlixVersion(int16_t* nVersion) {
  *nVersion = 1;
  return S_OK;
}

}  // namespace vorlix
