#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "engine/DaoInfo.h"

namespace vorlix {

// The positional reads leave the error flag as they find it, so IsDAOError after them still
// reports an earlier failure unless they failed in the engine themselves.

HRESULT CDBConnection::GetFieldCount(int16_t* piFieldCount, VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadFieldCount(piFieldCount); }, bSuccess);
}

std::optional<bool> CDBConnection::ReadFieldCount(int16_t* count) {
  if (!Enter(ErrorFlag::kKeep, kCurrentTableOpen)) return false;
  if (!Capture([&] { *count = CurrentTable().GetFieldCount(); })) return std::nullopt;
  return true;
}

HRESULT CDBConnection::GetFieldName(int16_t iIndex, Bstr* psFieldName, VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadFieldName(iIndex, psFieldName); }, bSuccess);
}

std::optional<bool> CDBConnection::ReadFieldName(int16_t index, Bstr* name) {
  if (!Enter(ErrorFlag::kKeep, kCurrentTableOpen)) return false;
  CDaoFieldInfo info;
  if (!Capture([&] { CurrentTable().GetFieldInfo(index, info, AFX_DAO_PRIMARY_INFO); })) {
    return std::nullopt;
  }
  *name = std::move(info.m_strName);
  return true;
}

HRESULT CDBConnection::GetFieldValue(int16_t iIndex, Variant* pvFieldValue,
                                     VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadFieldValue(iIndex, pvFieldValue); }, bSuccess);
}

std::optional<bool> CDBConnection::ReadFieldValue(int16_t index, Variant* value) {
  if (!Enter(ErrorFlag::kKeep, kCurrentTableOpen)) return false;
  if (!Capture([&] { *value = CurrentTable().GetFieldValue(index); })) return std::nullopt;
  return true;
}

HRESULT CDBConnection::GetFieldValueFromName(const Bstr& sFieldName, Variant* pvFieldValue,
                                             VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadFieldValueByName(sFieldName, pvFieldValue); }, bSuccess);
}

bool CDBConnection::ReadFieldValueByName(const Bstr& name, Variant* value) {
  *value = Variant::Null();
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  // The engine matches the name by its own rules.
  return Capture([&] { *value = CurrentTable().GetFieldValue(name); });
}

}  // namespace vorlix
