// A stored value as the Variant a caller reads, typed by the field's row of the type table.
#pragma once

#include "automation/Variant.h"
#include "engine/schema/FieldType.h"
#include "engine/store/StoredValue.h"

namespace vorlix {

// The value a caller reads from a field of type. A value stored in a form the type does not
// keep (written by another program) and a result column with no field type (type nullptr)
// take the storage class: integer VT_I4 (VT_I8 when it does not fit), real VT_R8, text
// VT_BSTR, blob VT_ARRAY|VT_UI1.
Variant ToVariant(const StoredView& value, const FieldType* type);

}  // namespace vorlix
