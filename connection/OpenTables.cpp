#include <algorithm>
#include <utility>

#include "connection/CallFrame.h"
#include "connection/Connection.h"

namespace vorlix {

CDBConnection::TableList::iterator CDBConnection::FindOpenTable(const Bstr& name) {
  return std::find_if(tables_.begin(), tables_.end(),
                      [&](const auto& table) { return table->GetName() == name; });
}

HRESULT CDBConnection::Table(const Bstr& sTableName, const Bstr& sIndex, VARIANT_BOOL* bSuccess) {
  return Call([&] { return OpenTable(sTableName, sIndex); }, bSuccess);
}

bool CDBConnection::OpenTable(const Bstr& name, const Bstr& index) {
  // Without a database there is nothing to open, and clients take that as success.
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  if (!MakeCurrent(name)) return false;
  // Selecting the index it has would move the table to its first record.
  if (index.empty() || CurrentTable().GetCurrentIndex() == index) return true;
  return Capture([&] { CurrentTable().SetCurrentIndex(index); });
}

bool CDBConnection::MakeCurrent(const Bstr& name) {
  const auto found = FindOpenTable(name);
  if (found != tables_.end()) {
    // A swap, not a move to the front: the former current table takes the found one's place.
    std::swap(*found, tables_.front());
    return true;
  }
  auto table = std::make_unique<CDaoRecordset>(&database_);
  const bool opened = Capture([&] {
    table->Open(dbOpenTable, name, database_.CanUpdate() ? 0 : dbReadOnly);
    table->SetLockingMode(true);
  });
  if (opened) tables_.push_front(std::move(table));
  return opened;
}

HRESULT CDBConnection::CloseTable(const Bstr& bsTableName) {
  return Call([&] { CloseTableNamed(bsTableName); });
}

void CDBConnection::CloseTableNamed(const Bstr& name) {
  const auto found = FindOpenTable(name);
  if (found != tables_.end()) tables_.erase(found);
}

HRESULT CDBConnection::CloseCurrentTable(VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
        tables_.pop_front();
        return true;
      },
      bSuccess);
}

HRESULT CDBConnection::CloseAllTables(VARIANT_BOOL* bSuccess) {
  return Call([&] { return CloseTables(); }, bSuccess);
}

bool CDBConnection::CloseTables() {
  Enter(ErrorFlag::kClear, 0);
  ReleaseAllTables();
  return true;
}

void CDBConnection::ReleaseAllTables() {
  while (!tables_.empty())
    tables_.pop_front();
}

HRESULT CDBConnection::TableIsReady(VARIANT_BOOL* bTableIsReady) {
  return Call([&] { return tables_.empty(); }, bTableIsReady);
}

HRESULT CDBConnection::GetCurrentTable(Bstr* psName) {
  return Call(
      [&] {
        return Enter(ErrorFlag::kClear, kCurrentTableOpen) ? CurrentTable().GetName() : Bstr();
      },
      psName);
}

HRESULT CDBConnection::GetCurrentIndex(Bstr* psName) {
  return Call(
      [&] {
        return Enter(ErrorFlag::kClear, kCurrentTableOpen) ? CurrentTable().GetCurrentIndex()
                                                           : Bstr();
      },
      psName);
}

}  // namespace vorlix
