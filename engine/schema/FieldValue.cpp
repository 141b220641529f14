#include "engine/schema/FieldValue.h"

#include "automation/Coerce.h"
#include "automation/Date.h"
#include "automation/Guid.h"
#include "automation/Numeric.h"
#include "automation/SafeArray.h"
#include "engine/DaoException.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

[[noreturn]] void Unconvertible(const FieldType& type) {
  ThrowDao(dao_error::kConversionError,
           std::string("The value cannot be converted to a ") + type.name + " field's type.");
}

[[noreturn]] void TooLong(const FieldType& type, int32_t size) {
  ThrowDao(dao_error::kValueTooLong, std::string("The value is longer than the ") + type.name +
                                         " field's size of " + std::to_string(size) + ".");
}

Variant Converted(const FieldType& type, const Variant& value, VARTYPE vt) {
  Variant out;
  if (ChangeType(value, vt, &out) != S_OK) Unconvertible(type);
  return out;
}

}  // namespace

StoredValue ToStoredValue(const FieldType& type, int32_t size, const Variant& value) {
  StoredValue v;
  if (value.vt() == VT_EMPTY || value.vt() == VT_NULL) return v;
  switch (type.code) {
    case dbBoolean:
      v.kind = StoredValue::kInteger;
      v.integer = Converted(type, value, VT_BOOL).AsBool() ? 1 : 0;
      return v;
    case dbByte:
    case dbInteger:
    case dbLong: {
      const Variant n = Converted(type, value, type.vt);
      v.kind = StoredValue::kInteger;
      v.integer = type.vt == VT_UI1 ? static_cast<int64_t>(n.AsUnsigned()) : n.AsSigned();
      return v;
    }
    case dbCurrency:
      v.kind = StoredValue::kReal;
      v.real = CurrencyToDouble(Converted(type, value, VT_CY).AsSigned());
      return v;
    case dbSingle:
    case dbDouble:
      v.kind = StoredValue::kReal;
      v.real = Converted(type, value, type.vt).AsReal();
      return v;
    case dbDate: {
      std::optional<DateTime> dt = OleDateToDateTime(Converted(type, value, VT_DATE).AsReal());
      if (!dt) Unconvertible(type);
      v.kind = StoredValue::kText;
      v.bytes = FormatDateTime(*dt);
      return v;
    }
    case dbBinary:
    case dbLongBinary: {
      if (value.vt() != (VT_ARRAY | VT_UI1) || value.AsArray().Dims() != 1) Unconvertible(type);
      const std::vector<uint8_t>& bytes = value.AsArray().Bytes();
      if (type.maxSize != 0 && bytes.size() > static_cast<size_t>(size)) TooLong(type, size);
      v.kind = StoredValue::kBlob;
      v.bytes.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return v;
    }
    case dbGUID: {
      std::optional<std::string> text = Converted(type, value, VT_BSTR).AsBstr().ToUtf8();
      std::optional<Guid> guid = text ? Guid::Parse(*text) : std::nullopt;
      if (!guid) Unconvertible(type);
      v.kind = StoredValue::kText;
      v.bytes = guid->ToString();
      return v;
    }
    default: {  // Text and Memo
      const Bstr text = Converted(type, value, VT_BSTR).AsBstr();
      if (type.maxSize != 0 && text.size() > static_cast<size_t>(size)) TooLong(type, size);
      std::optional<std::string> utf8 = text.ToUtf8();
      if (!utf8) Unconvertible(type);
      v.kind = StoredValue::kText;
      v.bytes = std::move(*utf8);
      return v;
    }
  }
}

StoredValue ToStoredValue(const Variant& value) {
  if (value.vt() == VT_EMPTY || value.vt() == VT_NULL) return {};
  if (const FieldType* type = FieldTypeByVarType(value.vt())) {
    return ToStoredValue(*type, type->size, value);
  }
  Variant converted;
  if (value.vt() != VT_DECIMAL && ChangeType(value, VT_I8, &converted) == S_OK) {
    return {StoredValue::kInteger, converted.AsSigned(), 0, {}};
  }
  if (ChangeType(value, VT_R8, &converted) == S_OK) {
    return {StoredValue::kReal, 0, converted.AsReal(), {}};
  }
  ThrowDao(dao_error::kConversionError,
           "A parameter of type " + VarTypeName(value.vt()) + " cannot be bound to a statement.");
}

std::string SqlLiteral(const StoredValue& value) {
  switch (value.kind) {
    case StoredValue::kNull:
      return "NULL";
    case StoredValue::kInteger:
      return std::to_string(value.integer);
    case StoredValue::kReal:
      return DoubleToText(value.real);
    case StoredValue::kText:
      return QuoteText(value.bytes);
    case StoredValue::kBlob: {
      static const char kHex[] = "0123456789ABCDEF";
      std::string hex = "x'";
      for (unsigned char b : value.bytes) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
      }
      return hex + "'";
    }
  }
  return "NULL";
}

}  // namespace vorlix
