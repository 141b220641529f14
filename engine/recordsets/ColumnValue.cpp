#include "engine/recordsets/ColumnValue.h"

#include <limits>
#include <string_view>
#include <vector>

#include "automation/Date.h"
#include "automation/Numeric.h"
#include "automation/SafeArray.h"

namespace vorlix {
namespace {

// Through byte pointers, which the library copies as one block; char iterators into a vector
// of uint8_t would convert byte by byte.
std::vector<uint8_t> BytesOf(std::string_view bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  return std::vector<uint8_t>(data, data + bytes.size());
}

Variant ByStorage(const StoredView& value) {
  switch (value.kind) {
    case StoredValue::kNull:
      return Variant::Null();
    case StoredValue::kInteger:
      if (value.integer < std::numeric_limits<int32_t>::min() ||
          value.integer > std::numeric_limits<int32_t>::max()) {
        return Variant::Signed(VT_I8, value.integer);
      }
      return Variant::I4(static_cast<int32_t>(value.integer));
    case StoredValue::kReal:
      return Variant::R8(value.real);
    case StoredValue::kText:
      return Variant::Str(Bstr::FromUtf8Lossy(value.bytes));
    case StoredValue::kBlob:
      return Variant::Array(SafeArray::ByteVector(BytesOf(value.bytes)));
  }
  return Variant::Null();
}

bool Fits(int64_t v, int64_t lo, int64_t hi) {
  return v >= lo && v <= hi;
}

}  // namespace

Variant ToVariant(const StoredView& value, const FieldType* type) {
  if (!type || value.kind == StoredValue::kNull) return ByStorage(value);
  switch (type->code) {
    case dbBoolean:
      if (value.kind == StoredValue::kInteger) return Variant::Bool(value.integer != 0);
      break;
    case dbByte:
      if (value.kind == StoredValue::kInteger && Fits(value.integer, 0, 255)) {
        return Variant::Unsigned(VT_UI1, static_cast<uint64_t>(value.integer));
      }
      break;
    case dbInteger:
      if (value.kind == StoredValue::kInteger && Fits(value.integer, INT16_MIN, INT16_MAX)) {
        return Variant::I2(static_cast<int16_t>(value.integer));
      }
      break;
    case dbLong:
      break;  // the storage class gives VT_I4, or VT_I8 for what SQL stored beyond it
    case dbCurrency: {
      int64_t cy = 0;
      const double real =
          value.kind == StoredValue::kInteger ? static_cast<double>(value.integer) : value.real;
      if (value.kind != StoredValue::kText && value.kind != StoredValue::kBlob &&
          CurrencyFromDouble(real, &cy) == S_OK) {
        return Variant::Currency(cy);
      }
      break;
    }
    case dbSingle:
      if (value.kind == StoredValue::kReal || value.kind == StoredValue::kInteger) {
        const double real =
            value.kind == StoredValue::kReal ? value.real : static_cast<double>(value.integer);
        return Variant::Real(VT_R4, static_cast<float>(real));
      }
      break;
    case dbDouble:
      if (value.kind == StoredValue::kInteger) {
        return Variant::R8(static_cast<double>(value.integer));
      }
      break;
    case dbDate:
      if (value.kind == StoredValue::kText) {
        std::optional<DateTime> dt = ParseDateTime(value.bytes);
        std::optional<double> date = dt ? DateTimeToOleDate(*dt) : std::nullopt;
        if (date) return Variant::Date(*date);
      }
      break;
    default:
      break;  // Text, Memo, GUID, Binary, Long Binary: their storage class is their type
  }
  return ByStorage(value);
}

}  // namespace vorlix
