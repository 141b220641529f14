#include "automation/SafeArray.h"
#include "engine/schema/FieldType.h"
#include "engine/schema/FieldValue.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

// The engine's own type words read back in every table it makes; these are other programs'
// declarations: letter case, sizes and their defaults, sizes past the type's limit, counters,
// and SQLite's affinity rules for words the engine does not know.
TEST(FieldType, DeclaredTypesOfSqlTablesMapToTheNearestRow) {
  auto expect = [](const char* declared, int16_t code, int32_t size, bool autoIncrement = false) {
    const DeclaredType t = ParseDeclaredType(declared);
    EXPECT_EQ(t.type->code, code) << declared;
    EXPECT_EQ(t.size, size) << declared;
    EXPECT_EQ(t.autoIncrement, autoIncrement) << declared;
  };
  expect("yesno", dbBoolean, 1);
  expect("int", dbLong, 4);
  expect("COUNTER(1,1)", dbLong, 4, true);
  expect("DOUBLE PRECISION", dbDouble, 8);
  expect("VARBINARY", dbBinary, 255);
  expect("BINARY(600)", dbLongBinary, 0);
  expect("VARCHAR (20)", dbText, 20);
  expect("NVARCHAR(300)", dbMemo, 0);
  expect("CHAR", dbText, 255);
  expect("TEXT", dbMemo, 0);
  expect("Memo", dbMemo, 0);  // as other programs, and SQL run by older builds, declare it
  expect("", dbLongBinary, 0);
  expect("BIGINT", dbLong, 4);
  expect("VARYING CHARACTER", dbMemo, 0);
  expect("NUMBER", dbDouble, 8);
}

StoredValue Store(int16_t code, const Variant& v, int32_t size = 0) {
  const FieldType* type = FieldTypeByCode(code);
  return ToStoredValue(*type, size ? size : type->size, v);
}

TEST(FieldValue, WrittenValuesConvertAsAUserExpects) {
  EXPECT_EQ(Store(dbBoolean, Variant::I4(5)).integer, 1);
  EXPECT_EQ(Store(dbCurrency, Variant::Currency(12345)).real, 1.2345);
  EXPECT_EQ(Store(dbDate, Variant::Date(1.5)).bytes, "1899-12-31 12:00:00");
  EXPECT_EQ(Store(dbText, Variant::Str(u"abcde"), 5).bytes, "abcde");
  EXPECT_EQ(Store(dbMemo, Variant::Str(std::u16string(1000, u'x'))).bytes.size(), 1000u);
  EXPECT_EQ(Store(dbGUID, Variant::Str(u"{0c990919-73e0-4399-8534-b355600b9ad2}")).bytes,
            "{0C990919-73E0-4399-8534-B355600B9AD2}");
  EXPECT_EQ(DaoCode([] { Store(dbGUID, Variant::Str(u"nope")); }), dao_error::kConversionError);
  const Variant bytes = Variant::Array(
      SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 1), Variant::Unsigned(VT_UI1, 255)}));
  EXPECT_EQ(SqlLiteral(Store(dbLongBinary, bytes)), "x'01FF'");
  EXPECT_EQ(DaoCode([&] { Store(dbBinary, bytes, 1); }), dao_error::kValueTooLong);
  EXPECT_EQ(DaoCode([] { Store(dbBinary, Variant::Str(u"x")); }), dao_error::kConversionError);
  EXPECT_EQ(DaoCode([] {
              Store(dbLongBinary, Variant::Array(SafeArray({{0, 1}, {0, 1}}, {1})));
            }),
            dao_error::kConversionError);  // bytes come in one dimension only
}

}  // namespace
}  // namespace vorlix::test
