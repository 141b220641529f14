// IDBConnection and IDaoStatus: the server's two dual interfaces as C++ abstract classes, their
// methods in vtable order after those of IUnknown and IDispatch, and the bindings through which
// Invoke calls them. The static_asserts below prove the bindings agree with the interface table
// (names, order, parameter count and C++ types); C++ offers no way to check the order of the
// declarations themselves, so they are kept in the table's order by hand.
#pragma once

#include <cstdint>

#include "automation/Bstr.h"
#include "automation/Dispatch.h"
#include "automation/Variant.h"
#include "protocol/InterfaceTable.h"
#include "server/Binding.h"

namespace vorlix {

// Each method's behaviour is CDBConnection's (connection/Connection.h).
class IDBConnection : public IDispatch {
 public:
  virtual HRESULT Open(const Bstr& sFileName, VARIANT_BOOL bExclusive, VARIANT_BOOL bReadOnly,
                       Bstr* psSuccess) = 0;
  virtual HRESULT Table(const Bstr& sTableName, const Bstr& sIndex, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Top(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetFieldCount(int16_t* piFieldCount, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetFieldName(int16_t iIndex, Bstr* psFieldName, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetFieldValue(int16_t iIndex, Variant* pvFieldValue, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Skip(int32_t iSkip, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetRecord(Variant* pvRecordArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT StatusIsOk(VARIANT_BOOL* bStatusIsOk) = 0;
  virtual HRESULT IsOpen(VARIANT_BOOL* bIsOpen) = 0;
  virtual HRESULT GetName(Bstr* psName) = 0;
  virtual HRESULT CloseTable(const Bstr& bsTableName) = 0;
  virtual HRESULT TableIsReady(VARIANT_BOOL* bTableIsReady) = 0;
  virtual HRESULT Append(const Variant& pvArray, VARIANT_BOOL bSetEmptyString,
                         Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Bottom(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CloseCurrentTable(VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CloseAllTables(VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Close(VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Count(int32_t* piCount, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Delete(VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetLastDAOError(int32_t* plErrorCode, Bstr* pbsDescription) = 0;
  virtual HRESULT CanUpdate(VARIANT_BOOL* bCanUpdate) = 0;
  virtual HRESULT IsDAOError(VARIANT_BOOL* bError) = 0;
  virtual HRESULT Exist(const Bstr& sTableName, VARIANT_BOOL* bExists, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Structure(Variant* pvStructure, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT ListIndexes(Variant* pvIndexes, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT ModifyTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                              VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT RenameTable(const Bstr& sOldName, const Bstr& sNewName,
                              VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetCurrentIndex(Bstr* psName) = 0;
  virtual HRESULT GetCurrentTable(Bstr* psName) = 0;
  virtual HRESULT Replace(const Variant& pvArray, Variant* pvReturnArray,
                          VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Seek(const Variant& pvSeek, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Seek2(const Variant& pvSeek1, const Variant& pvSeek2, Variant* pvReturnArray,
                        VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Seek3(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                        Variant* pvReturnArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Seek10(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                         const Variant& pvSeek4, const Variant& pvSeek5, const Variant& pvSeek6,
                         const Variant& pvSeek7, const Variant& pvSeek8, const Variant& pvSeek9,
                         const Variant& pvSeek10, int32_t iNum, Variant* pvReturnArray,
                         VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CreateDatabase(const Bstr& sDatabaseName, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CreateTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                              VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT ReadOnly(VARIANT_BOOL* bIsReadOnly) = 0;
  virtual HRESULT DeleteTable(const Bstr& sTableName, VARIANT_BOOL bDeleteRelations,
                              VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT ListTables(Variant* pvTables, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT SQL(const Bstr& sSql, Variant* pvRecordArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Command(const Bstr& sCommand, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT RelationExists(const Bstr& sRelationName, VARIANT_BOOL* bExists,
                                 VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT RelationDelete(const Bstr& sTableName, const Bstr& sForeignTableName,
                                 VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Compact(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT LinkTable(const Bstr& sTableName, const Bstr& sDatabaseName,
                            const Bstr& sSourceTable, VARIANT_BOOL* bCreated,
                            VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT Query(const Bstr& sQueryName, const Variant& pvParameterArray,
                        Variant* pvRecordArray, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CreateIndex(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL bUnique,
                              VARIANT_BOOL bPrimary, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CreateQuery(const Bstr& sQueryName, const Bstr& sSql, VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT OpenForWrite(const Bstr& sFileName, VARIANT_BOOL* bReadOnly,
                               VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT IsEOF(VARIANT_BOOL* bIsEOF) = 0;
  virtual HRESULT IsBOF(VARIANT_BOOL* bIsBOF) = 0;
  virtual HRESULT Required(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL* bRequired,
                           VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetAttributes(const Bstr& sFieldName, Variant* pvReturnArray,
                                VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetFieldValueFromName(const Bstr& sFieldName, Variant* pvFieldValue,
                                        VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT CommandWithRecords(const Bstr& sCommand, int32_t* iRecordsUpdated,
                                     VARIANT_BOOL* bSuccess) = 0;
  virtual HRESULT GetVorlixVersion(int16_t* nVersion) = 0;
};

class IDaoStatus : public IDispatch {
 public:
  // Starts the database engine.
  virtual HRESULT DaoInit() = 0;
  // Stops the database engine.
  virtual HRESULT DaoTerm() = 0;
};

inline constexpr Binding kConnectionBindings[] = {
    VORLIX_BIND(IDBConnection, Open),
    VORLIX_BIND(IDBConnection, Table),
    VORLIX_BIND(IDBConnection, Top),
    VORLIX_BIND(IDBConnection, GetFieldCount),
    VORLIX_BIND(IDBConnection, GetFieldName),
    VORLIX_BIND(IDBConnection, GetFieldValue),
    VORLIX_BIND(IDBConnection, Skip),
    VORLIX_BIND(IDBConnection, GetRecord),
    VORLIX_BIND(IDBConnection, StatusIsOk),
    VORLIX_BIND(IDBConnection, IsOpen),
    VORLIX_BIND(IDBConnection, GetName),
    VORLIX_BIND(IDBConnection, CloseTable),
    VORLIX_BIND(IDBConnection, TableIsReady),
    VORLIX_BIND(IDBConnection, Append),
    VORLIX_BIND(IDBConnection, Bottom),
    VORLIX_BIND(IDBConnection, CloseCurrentTable),
    VORLIX_BIND(IDBConnection, CloseAllTables),
    VORLIX_BIND(IDBConnection, Close),
    VORLIX_BIND(IDBConnection, Count),
    VORLIX_BIND(IDBConnection, Delete),
    VORLIX_BIND(IDBConnection, GetLastDAOError),
    VORLIX_BIND(IDBConnection, CanUpdate),
    VORLIX_BIND(IDBConnection, IsDAOError),
    VORLIX_BIND(IDBConnection, Exist),
    VORLIX_BIND(IDBConnection, Structure),
    VORLIX_BIND(IDBConnection, ListIndexes),
    VORLIX_BIND(IDBConnection, ModifyTable),
    VORLIX_BIND(IDBConnection, RenameTable),
    VORLIX_BIND(IDBConnection, GetCurrentIndex),
    VORLIX_BIND(IDBConnection, GetCurrentTable),
    VORLIX_BIND(IDBConnection, Replace),
    VORLIX_BIND(IDBConnection, Seek),
    VORLIX_BIND(IDBConnection, Seek2),
    VORLIX_BIND(IDBConnection, Seek3),
    VORLIX_BIND(IDBConnection, Seek10),
    VORLIX_BIND(IDBConnection, CreateDatabase),
    VORLIX_BIND(IDBConnection, CreateTable),
    VORLIX_BIND(IDBConnection, ReadOnly),
    VORLIX_BIND(IDBConnection, DeleteTable),
    VORLIX_BIND(IDBConnection, ListTables),
    VORLIX_BIND(IDBConnection, SQL),
    VORLIX_BIND(IDBConnection, Command),
    VORLIX_BIND(IDBConnection, RelationExists),
    VORLIX_BIND(IDBConnection, RelationDelete),
    VORLIX_BIND(IDBConnection, Compact),
    VORLIX_BIND(IDBConnection, LinkTable),
    VORLIX_BIND(IDBConnection, Query),
    VORLIX_BIND(IDBConnection, CreateIndex),
    VORLIX_BIND(IDBConnection, CreateQuery),
    VORLIX_BIND(IDBConnection, OpenForWrite),
    VORLIX_BIND(IDBConnection, IsEOF),
    VORLIX_BIND(IDBConnection, IsBOF),
    VORLIX_BIND(IDBConnection, Required),
    VORLIX_BIND(IDBConnection, GetAttributes),
    VORLIX_BIND(IDBConnection, GetFieldValueFromName),
    VORLIX_BIND(IDBConnection, CommandWithRecords),
    VORLIX_BIND(IDBConnection, GetVorlixVersion),
};
static_assert(Agree(kIDBConnection, kConnectionBindings));

inline constexpr Binding kStatusBindings[] = {
    VORLIX_BIND(IDaoStatus, DaoInit),
    VORLIX_BIND(IDaoStatus, DaoTerm),
};
static_assert(Agree(kIDaoStatus, kStatusBindings));

// The table and bindings of each interface, for DispatchObject.
template <typename I>
struct InterfaceOf;
template <>
struct InterfaceOf<IDBConnection> {
  static constexpr const Interface& kInterface = kIDBConnection;
  static constexpr std::span<const Binding> kBindings = kConnectionBindings;
};
template <>
struct InterfaceOf<IDaoStatus> {
  static constexpr const Interface& kInterface = kIDaoStatus;
  static constexpr std::span<const Binding> kBindings = kStatusBindings;
};

}  // namespace vorlix
