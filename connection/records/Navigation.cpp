#include "connection/CallFrame.h"
#include "connection/Connection.h"

// The cursor is the engine's: the connection keeps no position, record or end flag of its own,
// so each open table keeps its own place.

namespace vorlix {

HRESULT CDBConnection::Top(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return MoveToEnd(false, pvReturnArray); }, bSuccess);
}

HRESULT CDBConnection::Bottom(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return MoveToEnd(true, pvReturnArray); }, bSuccess);
}

bool CDBConnection::MoveToEnd(bool last, Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  // An empty table is at both ends; BOF is asked only when EOF is set.
  if (table.IsEOF() && table.IsBOF()) return false;
  if (!Capture([&] { last ? table.MoveLast() : table.MoveFirst(); })) return false;
  return BuildRecordArray(out);
}

HRESULT CDBConnection::Skip(int32_t iSkip, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return SkipRecords(iSkip, pvReturnArray); }, bSuccess);
}

bool CDBConnection::SkipRecords(int32_t count, Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  if (count == 0) return false;
  // Already past the end it moves towards: nothing to reach, and the engine is not asked.
  if (count > 0 ? table.IsEOF() : table.IsBOF()) return false;
  // One engine move whatever the count: the engine moves by a million in one statement.
  if (!Capture([&] { table.Move(count); })) return false;
  // Past either end there is no record: false, with nothing recorded.
  return BuildRecordArray(out);
}

HRESULT CDBConnection::GetRecord(Variant* pvRecordArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return BuildRecordArray(pvRecordArray); }, bSuccess);
}

HRESULT CDBConnection::IsEOF(VARIANT_BOOL* bIsEOF) {
  return Call([&] { return Enter(ErrorFlag::kClear, kCurrentTableOpen) && CurrentTable().IsEOF(); },
              bIsEOF);
}

HRESULT CDBConnection::IsBOF(VARIANT_BOOL* bIsBOF) {
  return Call([&] { return Enter(ErrorFlag::kClear, kCurrentTableOpen) && CurrentTable().IsBOF(); },
              bIsBOF);
}

HRESULT CDBConnection::Count(int32_t* piCount, VARIANT_BOOL* bSuccess) {
  return Call([&] { return CountRecords(piCount); }, bSuccess);
}

bool CDBConnection::CountRecords(int32_t* count) {
  *count = 0;
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  // Counted where the cursor stands: no move to the last record first.
  return Capture([&] { *count = CurrentTable().GetRecordCount(); });
}

}  // namespace vorlix
