// ConnectionObject: the server's DBConnection object, IDBConnection over one CDBConnection.
#pragma once

#include "connection/Connection.h"
#include "server/DispatchObject.h"
#include "server/Interfaces.h"
#include "server/PausableCalls.h"

namespace vorlix {

class ConnectionObject final : public DispatchObject<IDBConnection> {
 public:
  ConnectionObject(IUnknown* outer, ModuleLock& lock) : DispatchObject(outer, lock) {}

  // IDBConnection, each method CDBConnection's.
  HRESULT Open(const Bstr& sFileName, VARIANT_BOOL bExclusive, VARIANT_BOOL bReadOnly,
               Bstr* psSuccess) override {
    return connection_.Open(sFileName, bExclusive, bReadOnly, psSuccess);
  }
  HRESULT Table(const Bstr& sTableName, const Bstr& sIndex, VARIANT_BOOL* bSuccess) override {
    return connection_.Table(sTableName, sIndex, bSuccess);
  }
  HRESULT Top(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Top(pvReturnArray, bSuccess);
  }
  HRESULT GetFieldCount(int16_t* piFieldCount, VARIANT_BOOL* bSuccess) override {
    return connection_.GetFieldCount(piFieldCount, bSuccess);
  }
  HRESULT GetFieldName(int16_t iIndex, Bstr* psFieldName, VARIANT_BOOL* bSuccess) override {
    return connection_.GetFieldName(iIndex, psFieldName, bSuccess);
  }
  HRESULT GetFieldValue(int16_t iIndex, Variant* pvFieldValue, VARIANT_BOOL* bSuccess) override {
    return connection_.GetFieldValue(iIndex, pvFieldValue, bSuccess);
  }
  HRESULT Skip(int32_t iSkip, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Skip(iSkip, pvReturnArray, bSuccess);
  }
  HRESULT GetRecord(Variant* pvRecordArray, VARIANT_BOOL* bSuccess) override {
    return connection_.GetRecord(pvRecordArray, bSuccess);
  }
  HRESULT StatusIsOk(VARIANT_BOOL* bStatusIsOk) override {
    return connection_.StatusIsOk(bStatusIsOk);
  }
  HRESULT IsOpen(VARIANT_BOOL* bIsOpen) override { return connection_.IsOpen(bIsOpen); }
  HRESULT GetName(Bstr* psName) override { return connection_.GetName(psName); }
  HRESULT CloseTable(const Bstr& bsTableName) override {
    return connection_.CloseTable(bsTableName);
  }
  HRESULT TableIsReady(VARIANT_BOOL* bTableIsReady) override {
    return connection_.TableIsReady(bTableIsReady);
  }
  HRESULT Append(const Variant& pvArray, VARIANT_BOOL bSetEmptyString, Variant* pvReturnArray,
                 VARIANT_BOOL* bSuccess) override {
    return connection_.Append(pvArray, bSetEmptyString, pvReturnArray, bSuccess);
  }
  HRESULT Bottom(Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Bottom(pvReturnArray, bSuccess);
  }
  HRESULT CloseCurrentTable(VARIANT_BOOL* bSuccess) override {
    return connection_.CloseCurrentTable(bSuccess);
  }
  HRESULT CloseAllTables(VARIANT_BOOL* bSuccess) override {
    return connection_.CloseAllTables(bSuccess);
  }
  HRESULT Close(VARIANT_BOOL* bSuccess) override { return connection_.Close(bSuccess); }
  HRESULT Count(int32_t* piCount, VARIANT_BOOL* bSuccess) override {
    return connection_.Count(piCount, bSuccess);
  }
  HRESULT Delete(VARIANT_BOOL* bSuccess) override { return connection_.Delete(bSuccess); }
  HRESULT GetLastDAOError(int32_t* plErrorCode, Bstr* pbsDescription) override {
    return connection_.GetLastDAOError(plErrorCode, pbsDescription);
  }
  HRESULT CanUpdate(VARIANT_BOOL* bCanUpdate) override { return connection_.CanUpdate(bCanUpdate); }
  HRESULT IsDAOError(VARIANT_BOOL* bError) override { return connection_.IsDAOError(bError); }
  HRESULT Exist(const Bstr& sTableName, VARIANT_BOOL* bExists, VARIANT_BOOL* bSuccess) override {
    return connection_.Exist(sTableName, bExists, bSuccess);
  }
  HRESULT Structure(Variant* pvStructure, VARIANT_BOOL* bSuccess) override {
    return connection_.Structure(pvStructure, bSuccess);
  }
  HRESULT ListIndexes(Variant* pvIndexes, VARIANT_BOOL* bSuccess) override {
    return connection_.ListIndexes(pvIndexes, bSuccess);
  }
  HRESULT ModifyTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                      VARIANT_BOOL* bSuccess) override {
    return connection_.ModifyTable(sTableName, pvFieldInfo, bSuccess);
  }
  HRESULT RenameTable(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess) override {
    return connection_.RenameTable(sOldName, sNewName, bSuccess);
  }
  HRESULT GetCurrentIndex(Bstr* psName) override { return connection_.GetCurrentIndex(psName); }
  HRESULT GetCurrentTable(Bstr* psName) override { return connection_.GetCurrentTable(psName); }
  HRESULT Replace(const Variant& pvArray, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Replace(pvArray, pvReturnArray, bSuccess);
  }
  HRESULT Seek(const Variant& pvSeek, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Seek(pvSeek, pvReturnArray, bSuccess);
  }
  HRESULT Seek2(const Variant& pvSeek1, const Variant& pvSeek2, Variant* pvReturnArray,
                VARIANT_BOOL* bSuccess) override {
    return connection_.Seek2(pvSeek1, pvSeek2, pvReturnArray, bSuccess);
  }
  HRESULT Seek3(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                Variant* pvReturnArray, VARIANT_BOOL* bSuccess) override {
    return connection_.Seek3(pvSeek1, pvSeek2, pvSeek3, pvReturnArray, bSuccess);
  }
  HRESULT Seek10(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                 const Variant& pvSeek4, const Variant& pvSeek5, const Variant& pvSeek6,
                 const Variant& pvSeek7, const Variant& pvSeek8, const Variant& pvSeek9,
                 const Variant& pvSeek10, int32_t iNum, Variant* pvReturnArray,
                 VARIANT_BOOL* bSuccess) override {
    return connection_.Seek10(pvSeek1, pvSeek2, pvSeek3, pvSeek4, pvSeek5, pvSeek6, pvSeek7,
                              pvSeek8, pvSeek9, pvSeek10, iNum, pvReturnArray, bSuccess);
  }
  HRESULT CreateDatabase(const Bstr& sDatabaseName, VARIANT_BOOL* bSuccess) override {
    return connection_.CreateDatabase(sDatabaseName, bSuccess);
  }
  HRESULT CreateTable(const Bstr& sTableName, const Variant& pvFieldInfo,
                      VARIANT_BOOL* bSuccess) override {
    return connection_.CreateTable(sTableName, pvFieldInfo, bSuccess);
  }
  HRESULT ReadOnly(VARIANT_BOOL* bIsReadOnly) override { return connection_.ReadOnly(bIsReadOnly); }
  HRESULT DeleteTable(const Bstr& sTableName, VARIANT_BOOL bDeleteRelations,
                      VARIANT_BOOL* bSuccess) override {
    return connection_.DeleteTable(sTableName, bDeleteRelations, bSuccess);
  }
  HRESULT ListTables(Variant* pvTables, VARIANT_BOOL* bSuccess) override {
    return connection_.ListTables(pvTables, bSuccess);
  }
  HRESULT SQL(const Bstr& sSql, Variant* pvRecordArray, VARIANT_BOOL* bSuccess) override {
    return connection_.SQL(sSql, pvRecordArray, bSuccess);
  }
  HRESULT Command(const Bstr& sCommand, VARIANT_BOOL* bSuccess) override {
    return connection_.Command(sCommand, bSuccess);
  }
  HRESULT RelationExists(const Bstr& sRelationName, VARIANT_BOOL* bExists,
                         VARIANT_BOOL* bSuccess) override {
    return connection_.RelationExists(sRelationName, bExists, bSuccess);
  }
  HRESULT RelationDelete(const Bstr& sTableName, const Bstr& sForeignTableName,
                         VARIANT_BOOL* bSuccess) override {
    return connection_.RelationDelete(sTableName, sForeignTableName, bSuccess);
  }
  HRESULT Compact(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess) override {
    return connection_.Compact(sOldName, sNewName, bSuccess);
  }
  HRESULT LinkTable(const Bstr& sTableName, const Bstr& sDatabaseName, const Bstr& sSourceTable,
                    VARIANT_BOOL* bCreated, VARIANT_BOOL* bSuccess) override {
    return connection_.LinkTable(sTableName, sDatabaseName, sSourceTable, bCreated, bSuccess);
  }
  HRESULT Query(const Bstr& sQueryName, const Variant& pvParameterArray, Variant* pvRecordArray,
                VARIANT_BOOL* bSuccess) override {
    return connection_.Query(sQueryName, pvParameterArray, pvRecordArray, bSuccess);
  }
  HRESULT CreateIndex(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL bUnique,
                      VARIANT_BOOL bPrimary, VARIANT_BOOL* bSuccess) override {
    return connection_.CreateIndex(sTableName, sFieldName, bUnique, bPrimary, bSuccess);
  }
  HRESULT CreateQuery(const Bstr& sQueryName, const Bstr& sSql, VARIANT_BOOL* bSuccess) override {
    return connection_.CreateQuery(sQueryName, sSql, bSuccess);
  }
  HRESULT OpenForWrite(const Bstr& sFileName, VARIANT_BOOL* bReadOnly,
                       VARIANT_BOOL* bSuccess) override {
    return connection_.OpenForWrite(sFileName, bReadOnly, bSuccess);
  }
  HRESULT IsEOF(VARIANT_BOOL* bIsEOF) override { return connection_.IsEOF(bIsEOF); }
  HRESULT IsBOF(VARIANT_BOOL* bIsBOF) override { return connection_.IsBOF(bIsBOF); }
  HRESULT Required(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL* bRequired,
                   VARIANT_BOOL* bSuccess) override {
    return connection_.Required(sTableName, sFieldName, bRequired, bSuccess);
  }
  HRESULT GetAttributes(const Bstr& sFieldName, Variant* pvReturnArray,
                        VARIANT_BOOL* bSuccess) override {
    return connection_.GetAttributes(sFieldName, pvReturnArray, bSuccess);
  }
  HRESULT GetFieldValueFromName(const Bstr& sFieldName, Variant* pvFieldValue,
                                VARIANT_BOOL* bSuccess) override {
    return connection_.GetFieldValueFromName(sFieldName, pvFieldValue, bSuccess);
  }
  HRESULT CommandWithRecords(const Bstr& sCommand, int32_t* iRecordsUpdated,
                             VARIANT_BOOL* bSuccess) override {
    return connection_.CommandWithRecords(sCommand, iRecordsUpdated, bSuccess);
  }
  HRESULT GetVorlixVersion(int16_t* nVersion) override {
    return connection_.GetVorlixVersion(nVersion);
  }

 private:
  ~ConnectionObject() override = default;

  // The record writers' pauses between lock-retry attempts hand the loop to other clients.
  CDBConnection connection_{PausableCalls::Pause};
};

}  // namespace vorlix
