// The field types: one table from which declared types, storage, the VARTYPE of read values
// and the reported type, size and attributes of every field are derived.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/VarType.h"

namespace vorlix {

// Type codes (CDaoFieldInfo::m_nType).
inline constexpr int16_t dbBoolean = 1;
inline constexpr int16_t dbByte = 2;
inline constexpr int16_t dbInteger = 3;
inline constexpr int16_t dbLong = 4;
inline constexpr int16_t dbCurrency = 5;
inline constexpr int16_t dbSingle = 6;
inline constexpr int16_t dbDouble = 7;
inline constexpr int16_t dbDate = 8;
inline constexpr int16_t dbBinary = 9;
inline constexpr int16_t dbText = 10;
inline constexpr int16_t dbLongBinary = 11;
inline constexpr int16_t dbMemo = 12;
inline constexpr int16_t dbGUID = 15;

// How values of a type are kept in SQLite.
enum class Storage { kInteger, kReal, kText, kBlob };

struct FieldType {
  int16_t code;
  const char* name;      // for messages
  const char* declared;  // declared type of the column; sized types append "(size)"
  Storage storage;
  VARTYPE vt;              // the type of values read from such a field
  int32_t size;            // reported m_lSize; for sized types the size when none is given
  int32_t maxSize;         // the largest size of a sized type; 0 for types without a size
  bool noCase;             // compared and indexed in the general sort order (TextCollation.h)
  const char* emptyValue;  // SQL literal for rows that exist when a required field is added
};

// The row of type code, or nullptr for a code that is not a field type.
const FieldType* FieldTypeByCode(int16_t code);
// The first row without a size limit whose values are read as vt (VT_BSTR: Memo), or nullptr.
const FieldType* FieldTypeByVarType(VARTYPE vt);

// What a declared type of a table made by SQL means: its nearest row, its size as reported
// (m_lSize) and whether the field numbers itself. Every declared type has one, the empty one
// included: words the table does not know map by SQLite's own affinity rules.
struct DeclaredType {
  const FieldType* type;
  int32_t size;
  bool autoIncrement;
};
DeclaredType ParseDeclaredType(std::string_view declared);

// For the declared type of a column made by SQL: the engine's declared type to write in place
// of its first word when the type keeps text that SQLite would not give text affinity (MEMO,
// whose numeric affinity stores the text "007" as the integer 7); nullptr when it stands.
const char* TextAffinityDeclared(std::string_view declared);

// The declared type the engine writes for a field (ParseDeclaredType reads it back as given).
std::string DeclaredTypeSql(const FieldType& type, int32_t size, bool autoIncrement);

// The reported m_lAttributes of a field.
int32_t FieldAttributes(const FieldType& type, bool autoIncrement);

}  // namespace vorlix
