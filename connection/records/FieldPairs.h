// The name/value layout that the record array and the structure report share: a
// one-dimensional VARIANT array from 0 holding, for each field of a table in order, its name
// (VT_BSTR) at 2i and the value valueOf(i, info) at 2i + 1.
#pragma once

#include <utility>

#include "automation/SafeArray.h"
#include "engine/DaoInfo.h"
#include "engine/recordsets/Recordset.h"

namespace vorlix {

// valueOf(int16_t position, const CDaoFieldInfo& info) gives a field's value; an engine failure
// it or the field reads raise leaves no half-built array behind.
template <typename ValueOf>
Variant FieldPairs(CDaoRecordset& table, ValueOf valueOf) {
  const int16_t count = table.GetFieldCount();
  SafeArray pairs(VT_VARIANT, {{0, 2u * count}});
  CDaoFieldInfo info;
  for (int16_t i = 0; i < count; ++i) {
    // The primary level is all a name needs.
    table.GetFieldInfo(i, info, AFX_DAO_PRIMARY_INFO);
    pairs.Set(2 * i + 1, valueOf(i, info));
    pairs.Set(2 * i, Variant::Str(std::move(info.m_strName)));
  }
  return Variant::Array(std::move(pairs));
}

}  // namespace vorlix
