#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/schema/FieldRecords.h"

namespace vorlix {
namespace {

// The field specification array fieldInfo holds, or nullptr when it holds none by value:
// such input is refused before any work.
const SafeArray* FieldSpecificationArray(const Variant& pvFieldInfo) {
  if (pvFieldInfo.vt() != (VT_ARRAY | VT_VARIANT)) return nullptr;
  const SafeArray& records = pvFieldInfo.AsArray();
  return records.Dims() == 1 ? &records : nullptr;
}

}  // namespace

HRESULT CDBConnection::CreateTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return DefineTable(sTableName, pvFieldInfo, true); }, bSuccess);
}

HRESULT CDBConnection::ModifyTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                                   VARIANT_BOOL* bSuccess) {
  return Call([&] { return DefineTable(sTableName, pvFieldInfo, false); }, bSuccess);
}

bool CDBConnection::DefineTable(const Bstr& name, const Variant& fieldInfo, bool create) {
  const SafeArray* records = FieldSpecificationArray(fieldInfo);
  if (!records) return false;
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  // Through the method a client would call; it fails only outside the engine, and then the
  // definition work decides the result.
  CloseTable(name);
  CDaoTableDef definition(&database_);
  if (!Capture([&] { create ? definition.Create(name) : definition.Open(name); })) return false;
  const bool read = Capture([&] { return ApplyFieldSpecification(definition, *records); });
  // A new table is made with every field and index read before a stop; on an existing one
  // they have taken effect already.
  return Capture([&] { create ? definition.Append() : definition.Close(); }) && read;
}

}  // namespace vorlix
