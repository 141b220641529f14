// Values between SQLite statements and callers: a result column read as it is stored, a
// stored value bound as a parameter, and a stored value as the Variant a caller reads, typed
// by the field's row of the type table.
#pragma once

#include <string_view>

#include "automation/Variant.h"
#include "engine/FieldType.h"
#include "engine/FieldValue.h"
#include "engine/Sqlite.h"

namespace vorlix {

// A stored value whose text or blob bytes live elsewhere: in SQLite until its statement moves
// on, in a StoredValue, or in a snapshot's rows.
struct StoredView {
  StoredValue::Kind kind = StoredValue::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string_view bytes;  // the text (UTF-8) or the blob
};

// value seen as a view; its bytes are value's, valid while value lives unchanged.
StoredView ViewOf(const StoredValue& value);

// Column column of the row stmt stands on, in its storage class. The view's bytes are
// SQLite's: valid until stmt steps, is reset, or column is read again.
StoredView ReadCell(const Statement& stmt, int column);

// The same, owning its bytes.
StoredValue ReadColumn(const Statement& stmt, int column);

// Binds value to parameter index (counting from 1).
void BindValue(Statement& stmt, int index, const StoredValue& value);

// The value a caller reads from a field of type. A value stored in a form the type does not
// keep (written by another program) and a result column with no field type (type nullptr)
// take the storage class: integer VT_I4 (VT_I8 when it does not fit), real VT_R8, text
// VT_BSTR, blob VT_ARRAY|VT_UI1.
Variant ToVariant(const StoredView& value, const FieldType* type);

}  // namespace vorlix
