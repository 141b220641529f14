#include "engine/ColumnValue.h"

#include <sqlite3.h>

#include <limits>
#include <new>
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

StoredView ViewOf(const StoredValue& value) {
  StoredView v{value.kind, value.integer, value.real, {}};
  if (value.kind == StoredValue::kText) v.bytes = value.text;
  if (value.kind == StoredValue::kBlob) {
    v.bytes = {reinterpret_cast<const char*>(value.blob.data()), value.blob.size()};
  }
  return v;
}

StoredView ReadCell(const Statement& stmt, int column) {
  // One call that takes the connection's mutex per cell; the value_* readers below take none.
  // Nothing else uses the connection meanwhile: it belongs to one database object, which is
  // used by one thread at a time.
  sqlite3_value* cell = sqlite3_column_value(stmt.handle(), column);
  StoredView v;
  switch (sqlite3_value_type(cell)) {
    case SQLITE_INTEGER:
      v.kind = StoredValue::kInteger;
      v.integer = sqlite3_value_int64(cell);
      break;
    case SQLITE_FLOAT:
      v.kind = StoredValue::kReal;
      v.real = sqlite3_value_double(cell);
      break;
    case SQLITE_TEXT: {
      v.kind = StoredValue::kText;
      // Text first, then its length: the length is of the UTF-8 form the text call made. The
      // call may copy the text to end it with a NUL; no text means that copy found no memory,
      // and an empty string in its place would be a value lost.
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
      if (!text) throw std::bad_alloc();
      v.bytes = {text, static_cast<size_t>(sqlite3_value_bytes(cell))};
      break;
    }
    case SQLITE_BLOB: {
      v.kind = StoredValue::kBlob;
      const auto* bytes = static_cast<const char*>(sqlite3_value_blob(cell));
      if (bytes) v.bytes = {bytes, static_cast<size_t>(sqlite3_value_bytes(cell))};
      break;
    }
    default:
      break;
  }
  return v;
}

StoredValue ReadColumn(const Statement& stmt, int column) {
  const StoredView cell = ReadCell(stmt, column);
  StoredValue v;
  v.kind = cell.kind;
  v.integer = cell.integer;
  v.real = cell.real;
  if (cell.kind == StoredValue::kText) v.text = cell.bytes;
  if (cell.kind == StoredValue::kBlob) v.blob = BytesOf(cell.bytes);
  return v;
}

void BindValue(Statement& stmt, int index, const StoredValue& value) {
  sqlite3_stmt* s = stmt.handle();
  int rc = SQLITE_OK;
  switch (value.kind) {
    case StoredValue::kNull:
      rc = sqlite3_bind_null(s, index);
      break;
    case StoredValue::kInteger:
      rc = sqlite3_bind_int64(s, index, value.integer);
      break;
    case StoredValue::kReal:
      rc = sqlite3_bind_double(s, index, value.real);
      break;
    case StoredValue::kText:
      rc = sqlite3_bind_text64(s, index, value.text.data(), value.text.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
      break;
    case StoredValue::kBlob: {
      // SQLite binds a null pointer as Null, and an empty vector may have no storage: an empty
      // value must stay empty.
      const void* bytes = value.blob.empty() ? "" : static_cast<const void*>(value.blob.data());
      rc = sqlite3_bind_blob64(s, index, bytes, value.blob.size(), SQLITE_TRANSIENT);
      break;
    }
  }
  if (rc != SQLITE_OK) ThrowSqlite(sqlite3_db_handle(s), rc);
}

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
