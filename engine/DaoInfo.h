// The information records the engine fills when callers ask about fields, indexes, relations
// and table definitions, and that callers fill to create fields and indexes; with the
// information levels and the attribute bits they carry. Plain values: copy them freely.
#pragma once

#include <cstdint>
#include <vector>

#include "automation/Bstr.h"

namespace vorlix {

// Information levels. Field, index and relation records are always filled whole (reading
// more of them costs nothing extra); a table definition's record count is read only at
// AFX_DAO_ALL_INFO, because counting rows is the one costly item.
inline constexpr uint32_t AFX_DAO_PRIMARY_INFO = 1;
inline constexpr uint32_t AFX_DAO_SECONDARY_INFO = 2;
inline constexpr uint32_t AFX_DAO_ALL_INFO = 3;

// Field attributes (CDaoFieldInfo::m_lAttributes).
inline constexpr int32_t dbFixedField = 0x1;
inline constexpr int32_t dbVariableField = 0x2;
inline constexpr int32_t dbAutoIncrField = 0x10;
inline constexpr int32_t dbUpdatableField = 0x20;

// Table definition attributes (CDaoTableDefInfo::m_lAttributes).
inline constexpr int32_t dbSystemObject = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t dbAttachedTable = 0x40000000;

// Relation attributes (CDaoRelationInfo::m_lAttributes).
inline constexpr int32_t dbRelationUnique = 0x1;
inline constexpr int32_t dbRelationDontEnforce = 0x2;
inline constexpr int32_t dbRelationUpdateCascade = 0x100;
inline constexpr int32_t dbRelationDeleteCascade = 0x1000;

// The sort order of every text field: the general, case-insensitive one.
inline constexpr int32_t dbSortGeneral = 1033;

// The locale string callers pass for the general sort order.
inline constexpr char16_t dbLangGeneral[] = u";LANGID=0x0409;CP=1252;COUNTRY=0";

struct CDaoFieldInfo {
  Bstr m_strName;
  int16_t m_nType = 0;        // a type code of FieldType.h
  int32_t m_lSize = 0;        // width of fixed types, maximum length of Text and Binary
  int32_t m_lAttributes = 0;  // dbAutoIncrField is the one a caller sets
  int16_t m_nOrdinalPosition = 0;
  bool m_bRequired = false;
  bool m_bAllowZeroLength = false;
  int32_t m_lCollatingOrder = dbSortGeneral;
  Bstr m_strForeignName;
  Bstr m_strSourceField;
  Bstr m_strSourceTable;
  Bstr m_strValidationRule;  // not supported: must stay empty
  Bstr m_strValidationText;
  Bstr m_strDefaultValue;  // the text as given when the field was made
};

struct CDaoIndexFieldInfo {
  Bstr m_strName;
  bool m_bDescending = false;
};

struct CDaoIndexInfo {
  Bstr m_strName;
  std::vector<CDaoIndexFieldInfo> m_fieldInfos;  // the index's fields, in key order
  bool m_bPrimary = false;
  bool m_bUnique = false;
  bool m_bClustered = false;    // no meaning here; ignored
  bool m_bIgnoreNulls = false;  // not supported: must stay false
  bool m_bRequired = false;     // reported for primary indexes; must stay false when creating
  bool m_bForeign = false;      // reported false; ignored when creating
};

struct CDaoRelationFieldInfo {
  Bstr m_strName;         // field of the primary table
  Bstr m_strForeignName;  // field of the foreign table
};

struct CDaoRelationInfo {
  Bstr m_strName;
  Bstr m_strTable;         // the primary table (the one referred to)
  Bstr m_strForeignTable;  // the table holding the foreign key
  int32_t m_lAttributes = 0;
  std::vector<CDaoRelationFieldInfo> m_fieldInfos;
};

struct CDaoTableDefInfo {
  Bstr m_strName;
  bool m_bUpdatable = false;
  int32_t m_lAttributes = 0;    // dbSystemObject, dbAttachedTable
  Bstr m_strSourceTableName;    // links only
  Bstr m_strConnect;            // links only: ";DATABASE=path"
  int64_t m_lRecordCount = -1;  // AFX_DAO_ALL_INFO only; -1 for links
};

}  // namespace vorlix
