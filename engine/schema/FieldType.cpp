#include "engine/schema/FieldType.h"

#include <algorithm>
#include <charconv>

#include "automation/AsciiCase.h"
#include "engine/DaoInfo.h"

namespace vorlix {
namespace {

constexpr VARTYPE kBytes = VT_ARRAY | VT_UI1;

// Memo is declared LONGTEXT, not MEMO: SQLite gives a column whose declared type names no
// text word numeric affinity, which would store the text "007" as the integer 7.
constexpr FieldType kTypes[] = {
    {dbBoolean, "Boolean", "BIT", Storage::kInteger, VT_BOOL, 1, 0, false, "0"},
    {dbByte, "Byte", "BYTE", Storage::kInteger, VT_UI1, 1, 0, false, "0"},
    {dbInteger, "Integer", "SHORT", Storage::kInteger, VT_I2, 2, 0, false, "0"},
    {dbLong, "Long", "LONG", Storage::kInteger, VT_I4, 4, 0, false, "0"},
    {dbCurrency, "Currency", "CURRENCY", Storage::kReal, VT_CY, 8, 0, false, "0"},
    {dbSingle, "Single", "SINGLE", Storage::kReal, VT_R4, 4, 0, false, "0"},
    {dbDouble, "Double", "DOUBLE", Storage::kReal, VT_R8, 8, 0, false, "0"},
    {dbDate, "Date/Time", "DATETIME", Storage::kText, VT_DATE, 8, 0, false,
     "'1899-12-30 00:00:00'"},
    {dbBinary, "Binary", "BINARY", Storage::kBlob, kBytes, 255, 510, false, "x''"},
    {dbText, "Text", "TEXT", Storage::kText, VT_BSTR, 255, 255, true, "''"},
    {dbLongBinary, "Long Binary", "LONGBINARY", Storage::kBlob, kBytes, 0, 0, false, "x''"},
    {dbMemo, "Memo", "LONGTEXT", Storage::kText, VT_BSTR, 0, 0, true, "''"},
    {dbGUID, "GUID", "GUID", Storage::kText, VT_BSTR, 16, 0, false,
     "'{00000000-0000-0000-0000-000000000000}'"},
};

// Type words of tables made by SQL, upper case. TEXT is sized Text when it has a size; alone
// it is Memo, since SQLite's TEXT has no length limit.
struct Synonym {
  std::string_view word;
  int16_t code;
  bool autoIncrement;
};
constexpr Synonym kSynonyms[] = {
    {"BIT", dbBoolean, false},
    {"BOOLEAN", dbBoolean, false},
    {"BOOL", dbBoolean, false},
    {"YESNO", dbBoolean, false},
    {"LOGICAL", dbBoolean, false},
    {"BYTE", dbByte, false},
    {"TINYINT", dbByte, false},
    {"SHORT", dbInteger, false},
    {"SMALLINT", dbInteger, false},
    {"LONG", dbLong, false},
    {"INT", dbLong, false},
    {"INTEGER", dbLong, false},
    {"COUNTER", dbLong, true},
    {"AUTOINCREMENT", dbLong, true},
    {"CURRENCY", dbCurrency, false},
    {"MONEY", dbCurrency, false},
    {"SINGLE", dbSingle, false},
    {"FLOAT4", dbSingle, false},
    {"DOUBLE", dbDouble, false},
    {"FLOAT", dbDouble, false},
    {"FLOAT8", dbDouble, false},
    {"REAL", dbDouble, false},
    {"NUMERIC", dbDouble, false},
    {"DECIMAL", dbDouble, false},
    {"DATETIME", dbDate, false},
    {"DATE", dbDate, false},
    {"TIME", dbDate, false},
    {"TIMESTAMP", dbDate, false},
    {"BINARY", dbBinary, false},
    {"VARBINARY", dbBinary, false},
    {"TEXT", dbText, false},
    {"VARCHAR", dbText, false},
    {"CHAR", dbText, false},
    {"CHARACTER", dbText, false},
    {"NVARCHAR", dbText, false},
    {"NCHAR", dbText, false},
    {"LONGBINARY", dbLongBinary, false},
    {"BLOB", dbLongBinary, false},
    {"IMAGE", dbLongBinary, false},
    {"MEMO", dbMemo, false},
    {"LONGTEXT", dbMemo, false},
    {"LONGCHAR", dbMemo, false},
    {"NOTE", dbMemo, false},
    {"CLOB", dbMemo, false},
    {"GUID", dbGUID, false},
    {"UNIQUEIDENTIFIER", dbGUID, false},
};

// SQLite's affinity rules, for type words the list does not know: Memo stands for text
// affinity, Long for integer, Long Binary for blob and Double for real and numeric.
int16_t CodeByAffinity(std::string_view upper) {
  auto has = [&](std::string_view part) { return upper.find(part) != std::string_view::npos; };
  if (has("INT")) return dbLong;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return dbMemo;
  if (has("BLOB") || upper.empty()) return dbLongBinary;
  return dbDouble;
}

}  // namespace

const FieldType* FieldTypeByCode(int16_t code) {
  for (const FieldType& type : kTypes) {
    if (type.code == code) return &type;
  }
  return nullptr;
}

const FieldType* FieldTypeByVarType(VARTYPE vt) {
  for (const FieldType& type : kTypes) {
    if (type.vt == vt && type.maxSize == 0) return &type;
  }
  return nullptr;
}

DeclaredType ParseDeclaredType(std::string_view declared) {
  const std::string upper = AsciiUpper(declared);
  const size_t wordEnd = std::min(upper.find_first_of(" (\t\r\n"), upper.size());
  const std::string_view word = std::string_view(upper).substr(0, wordEnd);

  // The first number in parentheses is the size: TEXT(50), VARCHAR (20), DECIMAL(10,2).
  int32_t size = 0;
  if (size_t open = upper.find('('); open != std::string::npos) {
    size_t digits = upper.find_first_not_of(' ', open + 1);
    if (digits != std::string::npos) {
      std::from_chars(upper.data() + digits, upper.data() + upper.size(), size);
    }
  }

  int16_t code = 0;
  bool autoIncrement = false;
  for (const Synonym& synonym : kSynonyms) {
    if (synonym.word == word) {
      code = synonym.code;
      autoIncrement = synonym.autoIncrement;
    }
  }
  if (code == 0) code = CodeByAffinity(upper);
  if (code == dbText && word == "TEXT" && size <= 0) code = dbMemo;

  const FieldType* type = FieldTypeByCode(code);
  if (type->maxSize == 0) return {type, type->size, autoIncrement};
  if (size <= 0) size = type->size;
  // Wider than the type allows: the long form of the type holds such values.
  if (size > type->maxSize) {
    type = FieldTypeByCode(type->code == dbText ? dbMemo : dbLongBinary);
    return {type, type->size, false};
  }
  return {type, size, false};
}

const char* TextAffinityDeclared(std::string_view declared) {
  const FieldType& type = *ParseDeclaredType(declared).type;
  if (type.storage != Storage::kText || CodeByAffinity(AsciiUpper(declared)) == dbMemo)
    return nullptr;
  // Date/Time and GUID have numeric affinity even as the engine declares them; their stored
  // forms never look like numbers, so they need no other word.
  return CodeByAffinity(type.declared) == dbMemo ? type.declared : nullptr;
}

std::string DeclaredTypeSql(const FieldType& type, int32_t size, bool autoIncrement) {
  if (autoIncrement) return "COUNTER";
  if (type.maxSize == 0) return type.declared;
  return std::string(type.declared) + "(" + std::to_string(size) + ")";
}

int32_t FieldAttributes(const FieldType& type, bool autoIncrement) {
  const bool variable = type.maxSize != 0 || type.size == 0;
  return (variable ? dbVariableField : dbFixedField) |
         (autoIncrement ? dbAutoIncrField : dbUpdatableField);
}

}  // namespace vorlix
