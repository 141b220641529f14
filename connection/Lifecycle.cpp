#include "connection/CallFrame.h"
#include "connection/Connection.h"

namespace vorlix {
namespace {

// The result of an Open whose failure was not a refused access.
constexpr char16_t kRepair[] = u"*REPAIR*";

}  // namespace

HRESULT CDBConnection::Open(const Bstr& sFileName, VARIANT_BOOL bExclusive, VARIANT_BOOL bReadOnly,
                            Bstr* psSuccess) {
  return Call([&] { return OpenDatabase(sFileName, bExclusive, bReadOnly); }, psSuccess);
}

void CDBConnection::CloseBeforeOpening() {
  Enter(ErrorFlag::kClear, 0);
  // The tables go with the database: a closed recordset left in the list would have no name
  // for the searches of Table and CloseTable.
  ReleaseAllTables();
  database_.Close();
}

Bstr CDBConnection::OpenDatabase(const Bstr& name, VARIANT_BOOL exclusive, VARIANT_BOOL readOnly) {
  CloseBeforeOpening();
  try {
    database_.Open(name, exclusive != 0, readOnly != 0, Bstr());
    return database_.GetName();
  } catch (const CDaoException& failure) {
    if (failure.Code() != dao_error::kCannotOpen) {
      RecordError(failure);
      return kRepair;
    }
  }
  // Held exclusively elsewhere, or writing refused: reading may still be allowed. The first
  // failure is not recorded, so a client that gets a name sees no error.
  Bstr opened;
  Capture([&] {
    database_.Open(name, exclusive != 0, true, Bstr());
    opened = database_.GetName();
  });
  return opened;
}

HRESULT CDBConnection::OpenForWrite(const Bstr& sFileName, VARIANT_BOOL* bReadOnly,
                                    VARIANT_BOOL* bSuccess) {
  return Call([&] { return OpenDatabaseForWrite(sFileName, bReadOnly); }, bSuccess);
}

bool CDBConnection::OpenDatabaseForWrite(const Bstr& name, VARIANT_BOOL* readOnly) {
  CloseBeforeOpening();
  *readOnly = VARIANT_FALSE;
  try {
    database_.Open(name, false, false, Bstr());
    return true;
  } catch (const CDaoException& failure) {
    if (failure.Code() != dao_error::kCannotOpen) {
      RecordError(failure);
      return false;
    }
  }
  // The call succeeded in telling the client that the file can at best be opened for
  // reading; it opens nothing.
  *readOnly = VARIANT_TRUE;
  return true;
}

HRESULT CDBConnection::Close(VARIANT_BOOL* bSuccess) {
  return Call([&] { return CloseDatabase(); }, bSuccess);
}

bool CDBConnection::CloseDatabase() {
  CloseTables();
  // A negative status passes here, unlike the status check.
  if (database_.GetStatus() > 1 || !database_.IsOpen()) return true;
  try {
    database_.Close();
  } catch (const CDaoException&) {
    // Closing is reported as failed, but not recorded.
    return false;
  }
  return true;
}

HRESULT CDBConnection::IsOpen(VARIANT_BOOL* bIsOpen) {
  return Call([&] { return Enter(ErrorFlag::kKeep, kDatabaseOpen); }, bIsOpen);
}

HRESULT CDBConnection::GetName(Bstr* psName) {
  return Call(
      [&] { return Enter(ErrorFlag::kClear, kDatabaseOpen) ? database_.GetName() : Bstr(); },
      psName);
}

std::string CDBConnection::OpenDatabaseName() const {
  return database_.IsOpen() ? database_.GetName().Utf8() : std::string();
}

HRESULT CDBConnection::ReadOnly(VARIANT_BOOL* bIsReadOnly) {
  return Call([&] { return !(Enter(ErrorFlag::kClear, kDatabaseOpen) && database_.CanUpdate()); },
              bIsReadOnly);
}

HRESULT CDBConnection::CanUpdate(VARIANT_BOOL* bCanUpdate) {
  return Call([&] { return Enter(ErrorFlag::kKeep, kDatabaseOpen) && database_.CanUpdate(); },
              bCanUpdate);
}

}  // namespace vorlix
