#include <algorithm>

#include "automation/SafeArray.h"
#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/LockRetry.h"
#include "engine/DaoInfo.h"
#include "engine/schema/FieldType.h"

namespace vorlix {
namespace {

// One dimension of VARIANT elements holding whole name/value pairs: anything else cannot be
// read as pairs, and is refused before a record is begun.
bool IsValueArray(const Variant& values) {
  if (values.vt() != (VT_ARRAY | VT_VARIANT)) return false;
  const SafeArray& array = values.AsArray();
  return array.Dims() == 1 && array.Count() % 2 == 0;
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// text cut to at most size code units. A cut that would part a surrogate pair drops the whole
// character: half a character is not text, and the engine would refuse the value.
Bstr CutToSize(const Bstr& text, int32_t size) {
  size_t keep = static_cast<size_t>(std::max(size, 0));
  if (keep >= text.size()) return text;
  if (keep > 0 && IsHighSurrogate(text.view()[keep - 1])) --keep;
  return Bstr(text.view().substr(0, keep));
}

}  // namespace

HRESULT CDBConnection::Append(const Variant& pvArray, VARIANT_BOOL bSetEmptyString,
                              Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  // No copy of the array, which may hold megabytes: WriteRecord reads it to its end before it
  // writes *pvReturnArray, so the two may be the very same variable.
  return Call(
      [&] { return WriteRecord(pvArray, true, bSetEmptyString == VARIANT_TRUE, pvReturnArray); },
      bSuccess);
}

HRESULT CDBConnection::Replace(const Variant& pvArray, Variant* pvReturnArray,
                               VARIANT_BOOL* bSuccess) {
  return Call([&] { return WriteRecord(pvArray, false, false, pvReturnArray); }, bSuccess);
}

HRESULT CDBConnection::Delete(VARIANT_BOOL* bSuccess) {
  return Call([&] { return DeleteRecord(); }, bSuccess);
}

bool CDBConnection::EnterWriter() {
  return Enter(ErrorFlag::kClear, kCurrentTableOpen) && database_.CanUpdate();
}

bool CDBConnection::WriteRecord(const Variant& values, bool adding, bool preset, Variant* out) {
  if (!EnterWriter() || !IsValueArray(values)) return false;
  CDaoRecordset& table = CurrentTable();
  const auto attempt = [&] {
    // A retry starts again on top of whatever the failed attempt left pending.
    adding ? table.AddNew() : table.Edit();
    if (preset) PresetRequiredTextFields(table);
    if (!WriteRecordValues(values.AsArray(), table)) {
      table.CancelUpdate();
      return false;
    }
    // A new record does not become current by itself: it is made so as it is stored.
    table.Update(adding);
    return true;
  };
  if (!Capture([&] { return RetryOnLock(attempt, sleep_); })) return false;
  return BuildRecordArray(out);
}

bool CDBConnection::DeleteRecord() {
  if (!EnterWriter()) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    return RetryOnLock(
        [&] {
          table.Delete();
          return true;
        },
        sleep_);
  });
}

bool CDBConnection::WriteRecordValues(const SafeArray& values, CDaoRecordset& table) {
  // Counted wide: an array may end at the largest index there is.
  for (int64_t i = values.LowerBound(); i < values.UpperBound(); i += 2) {
    const Variant& name = values.At(static_cast<int32_t>(i));
    const Variant& value = values.At(static_cast<int32_t>(i + 1));
    if (name.vt() != VT_BSTR) return false;
    const Bstr field = name.AsBstr().UpToNul();
    try {
      CDaoFieldInfo info;
      table.GetFieldInfo(field, info, AFX_DAO_PRIMARY_INFO);
      // The engine numbers these itself.
      if (info.m_lAttributes & dbAutoIncrField) continue;
      if (value.vt() == VT_BSTR) {
        // Every character counts, a NUL too: text carries its length.
        Bstr text = value.AsBstr();
        if (info.m_nType == dbText) text = CutToSize(text, info.m_lSize);
        table.SetFieldValue(field, text.empty() ? Bstr(u" ") : text);
      } else {
        table.SetFieldValue(field, value);
      }
    } catch (const CDaoException&) {
      // A field the table lacks or a value it refuses is the caller's mistake, not the
      // engine's failure: the caller drops the record and nothing is recorded.
      return false;
    }
  }
  return true;
}

void CDBConnection::PresetRequiredTextFields(CDaoRecordset& table) {
  try {
    const int16_t count = table.GetFieldCount();
    for (int16_t i = 0; i < count; ++i) {
      CDaoFieldInfo info;
      table.GetFieldInfo(i, info, AFX_DAO_ALL_INFO);
      if ((info.m_nType != dbText && info.m_nType != dbMemo) || !info.m_bRequired) continue;
      // The default is taken as it was written, not evaluated.
      if (!info.m_strDefaultValue.empty()) {
        table.SetFieldValue(info.m_strName, info.m_strDefaultValue);
      } else {
        table.SetFieldValue(info.m_strName, info.m_bAllowZeroLength ? Bstr() : Bstr(u" "));
      }
    }
  } catch (const CDaoException&) {
    // A preset is a convenience: the values of the array and the engine's checks on Update
    // still decide whether the record can be stored.
  }
}

}  // namespace vorlix
