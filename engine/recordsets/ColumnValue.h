// A stored value as the value a caller reads, typed by the field's row of the type table:
// as a Variant, or as its VARTYPE and plain value for code that keeps values by column.
#pragma once

#include <cstdint>
#include <string_view>

#include "automation/Variant.h"
#include "engine/schema/FieldType.h"
#include "engine/store/StoredValue.h"

namespace vorlix {

// The value a caller reads, before it becomes a Variant: its VARTYPE and where its value is.
// integer for VT_BOOL (0 or 1), VT_UI1, VT_I2, VT_I4, VT_I8 and VT_CY (ten-thousandths); real
// for VT_R4 (already rounded to float), VT_R8 and VT_DATE; bytes for VT_BSTR (the stored UTF-8,
// which another program may have written invalid) and VT_ARRAY|VT_UI1. VT_NULL has none.
struct CellValue {
  VARTYPE vt = VT_NULL;
  int64_t integer = 0;
  double real = 0;
  std::string_view bytes;  // the stored value's, valid while it lives unchanged
};

// The value a caller reads from a field of type. A value stored in a form the type does not
// keep (written by another program) and a result column with no field type (type nullptr)
// take the storage class: integer VT_I4 (VT_I8 when it does not fit), real VT_R8, text
// VT_BSTR, blob VT_ARRAY|VT_UI1.
CellValue ReadCell(const StoredView& value, const FieldType* type);

// The cell as a Variant: invalid UTF-8 text has each byte that is not ASCII as U+FFFD.
Variant ToVariant(const CellValue& cell);
inline Variant ToVariant(const StoredView& value, const FieldType* type) {
  return ToVariant(ReadCell(value, type));
}

}  // namespace vorlix
