// The field specification array that CreateTable and ModifyTable read: a flat run of field
// records, each describing one field and at most one single-field index on it.
//
//   "*RTLB*", name, type word, [size], required, default, index code, [unique, [primary]], "*RTLE*"
//
// The type word (BOOL BYTE INT LONG CURRENCY REAL DATE TEXT MEMO, any case; REAL is double
// precision) is followed by a VT_I4 size only when it is TEXT. The index code "*RTLE*" or ""
// asks for no index, "I" makes the field an auto-increment Long with an ascending index, "D" a
// descending index, any other text an ascending one. The end marker may stand in for the
// unique or primary flag and may be left out after the primary flag. A flag is false only as
// VT_EMPTY or a false VT_BOOL. Markers and index codes are compared exactly.
#pragma once

#include "automation/SafeArray.h"
#include "engine/database/TableDef.h"

namespace vorlix {

// Reads records from start to end and creates each field, then its index, on table (new or
// opened). False at the first malformed element, with nothing recorded; raises the engine's
// failure of a field or index. What was created before a stop stays.
bool ApplyFieldSpecification(CDaoTableDef& table, const SafeArray& records);

// The index a field record or CreateIndex asks for: one field, named after it.
CDaoIndexInfo SingleFieldIndex(const Bstr& field, bool descending, bool unique, bool primary);

}  // namespace vorlix
