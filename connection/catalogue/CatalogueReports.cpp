#include <utility>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/records/FieldPairs.h"
#include "engine/DaoInfo.h"
#include "engine/schema/FieldType.h"

namespace vorlix {
namespace {

// Tables whose names begin with these two characters, in this case, are the catalog's and are
// left out of the list; "Ms" and "msData" are user tables.
bool CatalogName(const Bstr& name) {
  return name.view().starts_with(u"MS");
}

// What Structure puts beside a field's name. Clients fill these blanks and hand the pairs back
// as values, so a Boolean gets a number and a date an empty text, as they always have.
Variant BlankValue(int16_t type) {
  switch (type) {
    case dbBoolean:
    case dbByte:
    case dbInteger:
    case dbLong:
      return Variant::I4(0);
    case dbSingle:
    case dbDouble:
      return Variant::R8(0.0);
    case dbDate:
    case dbText:
    case dbMemo:
      return Variant::Str(Bstr());
    default:
      return Variant();
  }
}

// The attribute array's flags are 1 and 0, not the -1 of VARIANT_BOOL.
Variant Flag(bool value) {
  return Variant::I2(value ? 1 : 0);
}

}  // namespace

HRESULT CDBConnection::ListTables(Variant* pvTables, VARIANT_BOOL* bSuccess) {
  return Call([&] { return ListTableNames(pvTables); }, bSuccess);
}

bool CDBConnection::ListTableNames(Variant* out) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return false;
  return Capture([&] {
    const int16_t count = database_.GetTableDefCount();
    std::vector<Variant> names;
    CDaoTableDefInfo info;
    for (int16_t i = 0; i < count; ++i) {
      database_.GetTableDefInfo(i, info, AFX_DAO_PRIMARY_INFO);
      if (!CatalogName(info.m_strName)) names.push_back(Variant::Str(std::move(info.m_strName)));
    }
    *out = Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(names)));
  });
}

HRESULT CDBConnection::Exist(const Bstr& sTableName, VARIANT_BOOL* bExists,
                             VARIANT_BOOL* bSuccess) {
  return Call([&] { return TableExists(sTableName, bExists); }, bSuccess);
}

bool CDBConnection::TableExists(const Bstr& name, VARIANT_BOOL* exists) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return false;
  return Capture([&] {
    bool found = false;
    CDaoTableDefInfo info;
    for (int16_t i = 0; !found && i < database_.GetTableDefCount(); ++i) {
      database_.GetTableDefInfo(i, info, AFX_DAO_PRIMARY_INFO);
      found = info.m_strName == name;
    }
    *exists = ToVariantBool(found);
  });
}

HRESULT CDBConnection::Structure(Variant* pvStructure, VARIANT_BOOL* bSuccess) {
  return Call([&] { return BuildStructure(pvStructure); }, bSuccess);
}

bool CDBConnection::BuildStructure(Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    *out = FieldPairs(table,
                      [](int16_t, const CDaoFieldInfo& info) { return BlankValue(info.m_nType); });
  });
}

HRESULT CDBConnection::ListIndexes(Variant* pvIndexes, VARIANT_BOOL* bSuccess) {
  return Call([&] { return ListIndexNames(pvIndexes); }, bSuccess);
}

bool CDBConnection::ListIndexNames(Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    const int16_t count = table.GetIndexCount();
    SafeArray names(VT_VARIANT, {{0, static_cast<uint32_t>(count)}});
    CDaoIndexInfo info;
    for (int16_t i = 0; i < count; ++i) {
      table.GetIndexInfo(i, info, AFX_DAO_PRIMARY_INFO);
      names.Set(i, Variant::Str(std::move(info.m_strName)));
    }
    *out = Variant::Array(std::move(names));
  });
}

HRESULT CDBConnection::GetAttributes(const Bstr& sFieldName, Variant* pvReturnArray,
                                     VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadAttributes(sFieldName, pvReturnArray); }, bSuccess);
}

bool CDBConnection::ReadAttributes(const Bstr& field, Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  CDaoRecordset& table = CurrentTable();
  return Capture([&] {
    // Clients have always had to stand on a record to ask, though no record is read.
    if (table.IsBOF() || table.IsEOF()) return false;
    CDaoFieldInfo info;
    table.GetFieldInfo(field, info, AFX_DAO_ALL_INFO);
    *out = Variant::Array(SafeArray::Vector(
        VT_VARIANT, 0,
        {Variant::Str(u"strName"), Variant::Str(std::move(info.m_strName)), Variant::Str(u"nType"),
         Variant::I2(info.m_nType), Variant::Str(u"lSize"), Variant::I4(info.m_lSize),
         Variant::Str(u"lAttributes"), Variant::I4(info.m_lAttributes),
         Variant::Str(u"nOrdinalPosition"), Variant::I2(info.m_nOrdinalPosition),
         Variant::Str(u"bRequired"), Flag(info.m_bRequired), Variant::Str(u"bAllowZeroLength"),
         Flag(info.m_bAllowZeroLength), Variant::Str(u"strDefaultValue"),
         Variant::Str(std::move(info.m_strDefaultValue))}));
    return true;
  });
}

HRESULT CDBConnection::Required(const Bstr& sTableName, const Bstr& sFieldName,
                                VARIANT_BOOL* bRequired, VARIANT_BOOL* bSuccess) {
  return Call([&] { return ReadRequired(sTableName, sFieldName, bRequired); }, bSuccess);
}

bool CDBConnection::ReadRequired(const Bstr& table, const Bstr& field, VARIANT_BOOL* required) {
  // Without a database there is nothing to ask, and clients take that as success.
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  *required = VARIANT_FALSE;
  // The table stays current whatever the field lookup gives, and keeps the index it had.
  if (!MakeCurrent(table)) return false;
  if (field.empty()) return true;
  return Capture([&] {
    CDaoFieldInfo info;
    CurrentTable().GetFieldInfo(field, info, AFX_DAO_SECONDARY_INFO);
    *required = ToVariantBool(info.m_bRequired);
  });
}

}  // namespace vorlix
