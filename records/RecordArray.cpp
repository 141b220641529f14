#include "automation/SafeArray.h"
#include "connection/Connection.h"
#include "engine/DaoInfo.h"

namespace vorlix {

bool CDBConnection::BuildRecordArray(Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    if (table.IsBOF() || table.IsEOF()) return false;
    const int16_t count = table.GetFieldCount();
    SafeArray record(VT_VARIANT, {{0, 2u * count}});
    CDaoFieldInfo info;
    for (int16_t i = 0; i < count; ++i) {
      // The primary level is all a name needs; the value goes on exactly as the engine reads
      // it, Null included, whatever the field's type.
      table.GetFieldInfo(i, info, AFX_DAO_PRIMARY_INFO);
      record.Set(2 * i, Variant::Str(std::move(info.m_strName)));
      record.Set(2 * i + 1, table.GetFieldValue(i));
    }
    // Only a finished array reaches the client.
    *out = Variant::Array(std::move(record));
    return true;
  });
}

}  // namespace vorlix
