#include "connection/statements/ColumnArrays.h"

#include <cstdint>

#include "automation/SafeArray.h"
#include "automation/Utf.h"
#include "engine/DaoException.h"

namespace vorlix {
namespace {

// Whether text can be an element of a text array, which travels as D-Bus strings: UTF-8
// without U+0000. Other text goes as a VARIANT, which carries it as UTF-16 code units.
bool FitsTextArray(const Bstr& text) {
  return text.view().find(u'\0') == std::u16string_view::npos && Utf8Length(text.view());
}

// The VARTYPE every value that is not Null shares and an array can hold; VT_VARIANT otherwise,
// and for a column of Nulls alone.
VARTYPE SharedType(const std::vector<Variant>& values) {
  VARTYPE shared = VT_EMPTY;
  for (const Variant& v : values) {
    if (v.vt() == VT_NULL) continue;
    if (shared != VT_EMPTY && v.vt() != shared) return VT_VARIANT;
    if (v.vt() == VT_BSTR && !FitsTextArray(v.AsBstr())) return VT_VARIANT;
    shared = v.vt();
  }
  return shared != VT_EMPTY && IsArrayElementType(shared) ? shared : VT_VARIANT;
}

}  // namespace

Variant DescribeColumns(const std::vector<ClientStatement::Column>& columns) {
  std::vector<Variant> described;
  for (const ClientStatement::Column& c : columns) {
    std::vector<Variant> fields = {
        Variant::Str(Bstr::FromUtf8Lossy(c.name)),
        Variant::I2(static_cast<int16_t>(c.type ? c.type->vt : VT_VARIANT)),
        Variant::Str(Bstr::FromUtf8Lossy(c.declared)), Variant::I4(c.size),
        Variant::Bool(c.nullable)};
    described.push_back(Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(fields))));
  }
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(described)));
}

ColumnArrays ToColumnArrays(std::vector<std::vector<Variant>> values) {
  std::vector<Variant> columns, nulls;
  for (std::vector<Variant>& column : values) {
    const VARTYPE type = SharedType(column);
    const uint32_t count = static_cast<uint32_t>(column.size());
    std::vector<uint8_t> mask(count, 0);
    bool anyNull = false;
    for (uint32_t r = 0; r < count; ++r) {
      if (column[r].vt() != VT_NULL) continue;
      mask[r] = 1;
      anyNull = true;
    }
    if (type == VT_VARIANT) {
      columns.push_back(Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(column))));
    } else {
      // The values move into the array whole; a Null's place holds the type's zero.
      const Variant zero = SafeArray(type, {{0, 1}}).At(0);
      for (uint32_t r = 0; r < count; ++r) {
        if (mask[r]) column[r] = zero;
      }
      columns.push_back(Variant::Array(SafeArray::Vector(type, 0, std::move(column))));
    }
    nulls.push_back(anyNull ? Variant::Array(SafeArray::ByteVector(std::move(mask))) : Variant());
  }
  return {Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(columns))),
          Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(nulls)))};
}

std::vector<std::vector<Variant>> RowsFromColumns(const SafeArray& columns) {
  const auto refuse = [](const std::string& why) {
    ThrowDao(dao_error::kInvalidArgument, "Parameter rows by column: " + why);
  };
  if (columns.Bounds()[1].count != 2) refuse("each column comes as its values and its Nulls.");
  const size_t width = columns.Bounds()[0].count;
  const std::vector<Variant>& elements = columns.Elements();
  std::vector<std::vector<Variant>> rows;
  for (size_t c = 0; c < width; ++c) {
    const Variant& values = elements[c];
    const Variant& nulls = elements[width + c];
    if (!values.IsArray() || values.AsArray().Dims() != 1) refuse("a column is not one array.");
    const SafeArray& array = values.AsArray();
    if (c == 0) rows.assign(array.Count(), std::vector<Variant>(width));
    if (array.Count() != rows.size()) refuse("the columns differ in length.");
    const bool masked = nulls.vt() == (VT_ARRAY | VT_UI1);
    if (nulls.vt() != VT_EMPTY && (!masked || nulls.AsArray().Count() != rows.size())) {
      refuse("a Null mask does not fit its column.");
    }
    const int32_t lower = array.LowerBound();
    for (size_t r = 0; r < rows.size(); ++r) {
      const bool null = masked && nulls.AsArray().Bytes()[r];
      rows[r][c] = null ? Variant::Null() : array.At(lower + static_cast<int32_t>(r));
    }
  }
  return rows;
}

}  // namespace vorlix
