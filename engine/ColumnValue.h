// Values between SQLite statements and callers: a result column read as it is stored, a
// stored value bound as a parameter, and a stored value as the Variant a caller reads, typed
// by the field's row of the type table.
#pragma once

#include "automation/Variant.h"
#include "engine/FieldType.h"
#include "engine/FieldValue.h"
#include "engine/Sqlite.h"

namespace vorlix {

// Column column of the row stmt stands on, in its storage class.
StoredValue ReadColumn(const Statement& stmt, int column);

// Binds value to parameter index (counting from 1).
void BindValue(Statement& stmt, int index, const StoredValue& value);

// The value a caller reads from a field of type. A value stored in a form the type does not
// keep (written by another program) and a result column with no field type (type nullptr)
// take the storage class: integer VT_I4 (VT_I8 when it does not fit), real VT_R8, text
// VT_BSTR, blob VT_ARRAY|VT_UI1.
Variant ToVariant(const StoredValue& value, const FieldType* type);

}  // namespace vorlix
