#include "automation/ColumnValues.h"

#include "automation/Bstr.h"

namespace vorlix {

Variant ValueAt(const ColumnValues& column, size_t row) {
  if (!column.nulls.empty() && column.nulls[row]) return Variant::Null();
  switch (column.values.index()) {
    case 0: {
      const int64_t v = std::get<0>(column.values)[row];
      if (column.type == VT_BOOL) return Variant::Bool(v != 0);
      Payload payload = Payload::kSigned;
      ScalarPayload(column.type, &payload);
      return payload == Payload::kUnsigned
                 ? Variant::Unsigned(column.type, static_cast<uint64_t>(v))
                 : Variant::Signed(column.type, v);
    }
    case 1:
      return Variant::Real(column.type, std::get<1>(column.values)[row]);
    case 2:
      return Variant::Str(Bstr::FromUtf8Lossy(std::get<2>(column.values)[row]));
    default:
      return std::get<3>(column.values)[row];
  }
}

}  // namespace vorlix
