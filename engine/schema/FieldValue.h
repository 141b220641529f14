// Values written to fields: a caller's Variant converted to what the field's type keeps, the
// way a user expects ("42" into a Long stores 42, "abc" does not).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automation/Variant.h"
#include "engine/schema/FieldType.h"
#include "engine/store/StoredValue.h"

namespace vorlix {

// Converts value for a field of type (size: its m_lSize). VT_EMPTY and VT_NULL give Null.
// Raises 3421 when the value does not convert to the type, 3163 when a Text or Binary value
// is longer than size.
StoredValue ToStoredValue(const FieldType& type, int32_t size, const Variant& value);

// A statement's parameter value, which has no field to go by: stored as a field of its own
// VARTYPE's type keeps it (a date as the engine's date text, Currency as a real), other whole
// numbers as integers, a decimal as a real. Raises 3421 for any other value (an array but a
// byte array).
StoredValue ToStoredValue(const Variant& value);

// The value as an SQL literal (for DEFAULT clauses).
std::string SqlLiteral(const StoredValue& value);

}  // namespace vorlix
