#include "connection/Connection.h"
#include "connection/records/FieldPairs.h"

namespace vorlix {

bool CDBConnection::BuildRecordArray(Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    if (table.IsBOF() || table.IsEOF()) return false;
    // The value goes on exactly as the engine reads it, Null included, whatever the field's
    // type; only a finished array reaches the client.
    *out =
        FieldPairs(table, [&](int16_t i, const CDaoFieldInfo&) { return table.GetFieldValue(i); });
    return true;
  });
}

}  // namespace vorlix
