#include "connection/statements/ColumnArrays.h"

#include <cstdint>

#include "automation/SafeArray.h"
#include "engine/DaoException.h"

namespace vorlix {

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

ColumnArrays ToColumnArrays(std::vector<ColumnValues> values) {
  std::vector<Variant> columns, nulls;
  for (ColumnValues& column : values) {
    std::vector<Variant> elements;
    if (column.type == VT_VARIANT) {
      elements = std::move(std::get<std::vector<Variant>>(column.values));
    } else {
      // A Null's place holds the type's zero.
      const Variant zero = SafeArray(column.type, {{0, 1}}).At(0);
      const size_t count = std::visit([](const auto& v) { return v.size(); }, column.values);
      elements.reserve(count);
      for (size_t r = 0; r < count; ++r) {
        const bool null = !column.nulls.empty() && column.nulls[r];
        elements.push_back(null ? zero : ValueAt(column, r));
      }
    }
    columns.push_back(Variant::Array(SafeArray::Vector(column.type, 0, std::move(elements))));
    nulls.push_back(column.nulls.empty()
                        ? Variant()
                        : Variant::Array(SafeArray::ByteVector(std::move(column.nulls))));
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
