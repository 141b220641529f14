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

CellValue Integer(VARTYPE vt, int64_t integer) {
  CellValue cell;
  cell.vt = vt;
  cell.integer = integer;
  return cell;
}
CellValue Real(VARTYPE vt, double real) {
  CellValue cell;
  cell.vt = vt;
  cell.real = real;
  return cell;
}
CellValue Bytes(VARTYPE vt, std::string_view bytes) {
  CellValue cell;
  cell.vt = vt;
  cell.bytes = bytes;
  return cell;
}

CellValue ByStorage(const StoredView& value) {
  switch (value.kind) {
    case StoredValue::kNull:
      return {};
    case StoredValue::kInteger: {
      const bool wide = value.integer < std::numeric_limits<int32_t>::min() ||
                        value.integer > std::numeric_limits<int32_t>::max();
      return Integer(wide ? VT_I8 : VT_I4, value.integer);
    }
    case StoredValue::kReal:
      return Real(VT_R8, value.real);
    case StoredValue::kText:
      return Bytes(VT_BSTR, value.bytes);
    case StoredValue::kBlob:
      return Bytes(VT_ARRAY | VT_UI1, value.bytes);
  }
  return {};
}

bool Fits(int64_t v, int64_t lo, int64_t hi) {
  return v >= lo && v <= hi;
}

}  // namespace

CellValue ReadCell(const StoredView& value, const FieldType* type) {
  if (!type || value.kind == StoredValue::kNull) return ByStorage(value);
  switch (type->code) {
    case dbBoolean:
      if (value.kind == StoredValue::kInteger) return Integer(VT_BOOL, value.integer != 0);
      break;
    case dbByte:
      if (value.kind == StoredValue::kInteger && Fits(value.integer, 0, 255)) {
        return Integer(VT_UI1, value.integer);
      }
      break;
    case dbInteger:
      if (value.kind == StoredValue::kInteger && Fits(value.integer, INT16_MIN, INT16_MAX)) {
        return Integer(VT_I2, value.integer);
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
        return Integer(VT_CY, cy);
      }
      break;
    }
    case dbSingle:
      if (value.kind == StoredValue::kReal || value.kind == StoredValue::kInteger) {
        const double real =
            value.kind == StoredValue::kReal ? value.real : static_cast<double>(value.integer);
        return Real(VT_R4, static_cast<float>(real));
      }
      break;
    case dbDouble:
      if (value.kind == StoredValue::kInteger) {
        return Real(VT_R8, static_cast<double>(value.integer));
      }
      break;
    case dbDate:
      if (value.kind == StoredValue::kText) {
        std::optional<DateTime> dt = ParseDateTime(value.bytes);
        std::optional<double> date = dt ? DateTimeToOleDate(*dt) : std::nullopt;
        if (date) return Real(VT_DATE, *date);
      }
      break;
    default:
      break;  // Text, Memo, GUID, Binary, Long Binary: their storage class is their type
  }
  return ByStorage(value);
}

Variant ToVariant(const CellValue& cell) {
  switch (cell.vt) {
    case VT_NULL:
      return Variant::Null();
    case VT_BOOL:
      return Variant::Bool(cell.integer != 0);
    case VT_UI1:
      return Variant::Unsigned(VT_UI1, static_cast<uint64_t>(cell.integer));
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return Variant::Real(cell.vt, cell.real);
    case VT_BSTR:
      return Variant::Str(Bstr::FromUtf8Lossy(cell.bytes));
    case VT_ARRAY | VT_UI1:
      return Variant::Array(SafeArray::ByteVector(BytesOf(cell.bytes)));
    default:
      return Variant::Signed(cell.vt, cell.integer);  // VT_I2, VT_I4, VT_I8, VT_CY
  }
}

}  // namespace vorlix
