#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "automation/SafeArray.h"
#include "engine/FieldType.h"
#include "engine/FieldValue.h"

namespace vorlix {
namespace {

using test::DaoCode;

TEST(FieldType, DeclaredTypesOfSqlTablesMapToTheNearestRow) {
  struct Case {
    const char* declared;
    int16_t code;
    int32_t size;
    bool autoIncrement;
  } cases[] = {
      {"BIT", dbBoolean, 1, false},        {"yesno", dbBoolean, 1, false},
      {"TINYINT", dbByte, 1, false},       {"SMALLINT", dbInteger, 2, false},
      {"INTEGER", dbLong, 4, false},       {"int", dbLong, 4, false},
      {"COUNTER", dbLong, 4, true},        {"AUTOINCREMENT", dbLong, 4, true},
      {"COUNTER(1,1)", dbLong, 4, true},   {"MONEY", dbCurrency, 8, false},
      {"SINGLE", dbSingle, 4, false},      {"REAL", dbDouble, 8, false},
      {"FLOAT", dbDouble, 8, false},       {"DOUBLE PRECISION", dbDouble, 8, false},
      {"DATETIME", dbDate, 8, false},      {"BINARY(16)", dbBinary, 16, false},
      {"VARBINARY", dbBinary, 255, false}, {"BINARY(600)", dbLongBinary, 0, false},
      {"TEXT(50)", dbText, 50, false},     {"VARCHAR (20)", dbText, 20, false},
      {"NVARCHAR(300)", dbMemo, 0, false}, {"CHAR", dbText, 255, false},
      {"TEXT", dbMemo, 0, false},          {"MEMO", dbMemo, 0, false},
      {"LONGTEXT", dbMemo, 0, false},      {"BLOB", dbLongBinary, 0, false},
      {"", dbLongBinary, 0, false},        {"GUID", dbGUID, 16, false},
      {"BIGINT", dbLong, 4, false},        {"VARYING CHARACTER", dbMemo, 0, false},
      {"NUMBER", dbDouble, 8, false},
  };
  for (const Case& c : cases) {
    const DeclaredType t = ParseDeclaredType(c.declared);
    EXPECT_EQ(t.type->code, c.code) << c.declared;
    EXPECT_EQ(t.size, c.size) << c.declared;
    EXPECT_EQ(t.autoIncrement, c.autoIncrement) << c.declared;
  }
}

TEST(FieldType, EngineDeclaredTypesReadBackAsTheirOwnRow) {
  for (int16_t code = 1; code <= 15; ++code) {
    const FieldType* type = FieldTypeByCode(code);
    if (!type) continue;
    const int32_t size = type->maxSize ? type->maxSize / 2 : type->size;
    const DeclaredType back = ParseDeclaredType(DeclaredTypeSql(*type, size, false));
    EXPECT_EQ(back.type, type) << type->name;
    EXPECT_EQ(back.size, size) << type->name;
  }
  const DeclaredType counter =
      ParseDeclaredType(DeclaredTypeSql(*FieldTypeByCode(dbLong), 4, true));
  EXPECT_TRUE(counter.autoIncrement);
  EXPECT_EQ(FieldAttributes(*FieldTypeByCode(dbText), false), dbVariableField | dbUpdatableField);
  EXPECT_EQ(FieldAttributes(*FieldTypeByCode(dbLong), true), dbFixedField | dbAutoIncrField);
}

StoredValue Store(int16_t code, const Variant& v, int32_t size = 0) {
  const FieldType* type = FieldTypeByCode(code);
  return ToStoredValue(*type, size ? size : type->size, v);
}

TEST(FieldValue, WrittenValuesConvertAsAUserExpects) {
  EXPECT_EQ(Store(dbLong, Variant::Str(u"42")).integer, 42);
  EXPECT_EQ(Store(dbLong, Variant::Str(u"42")).kind, StoredValue::kInteger);
  EXPECT_EQ(DaoCode([] { Store(dbLong, Variant::Str(u"abc")); }), dao_error::kConversionError);
  EXPECT_EQ(DaoCode([] { Store(dbByte, Variant::I4(300)); }), dao_error::kConversionError);
  EXPECT_EQ(Store(dbBoolean, Variant::I4(5)).integer, 1);
  EXPECT_EQ(Store(dbBoolean, Variant::Str(u"false")).integer, 0);
  EXPECT_EQ(Store(dbCurrency, Variant::Currency(12345)).real, 1.2345);
  EXPECT_EQ(Store(dbDate, Variant::Date(1.5)).text, "1899-12-31 12:00:00");
  EXPECT_EQ(Store(dbText, Variant::Str(u"abcde"), 5).text, "abcde");
  EXPECT_EQ(DaoCode([] { Store(dbText, Variant::Str(u"abcdef"), 5); }), dao_error::kValueTooLong);
  EXPECT_EQ(Store(dbMemo, Variant::Str(std::u16string(1000, u'x'))).text.size(), 1000u);
  EXPECT_EQ(Store(dbGUID, Variant::Str(u"{0c990919-73e0-4399-8534-b355600b9ad2}")).text,
            "{0C990919-73E0-4399-8534-B355600B9AD2}");
  EXPECT_EQ(DaoCode([] { Store(dbGUID, Variant::Str(u"nope")); }), dao_error::kConversionError);
  EXPECT_EQ(Store(dbLong, Variant::Null()).kind, StoredValue::kNull);
  const Variant bytes = Variant::Array(
      SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 1), Variant::Unsigned(VT_UI1, 255)}));
  EXPECT_EQ(SqlLiteral(Store(dbLongBinary, bytes)), "x'01FF'");
  EXPECT_EQ(DaoCode([&] { Store(dbBinary, bytes, 1); }), dao_error::kValueTooLong);
  EXPECT_EQ(DaoCode([] { Store(dbBinary, Variant::Str(u"x")); }), dao_error::kConversionError);
  EXPECT_EQ(SqlLiteral(Store(dbText, Variant::Str(u"it's"))), "'it''s'");
}

}  // namespace
}  // namespace vorlix
