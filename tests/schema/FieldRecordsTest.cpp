// Reading the field specification array: what each record makes in the file, and where the
// walk stops.
#include "SchemaTestSupport.h"

namespace vorlix::test {
namespace {

using FieldRecordsTest = SchemaTest;
constexpr auto kCreate = &CDBConnection::CreateTable;
constexpr auto kModify = &CDBConnection::ModifyTable;

TEST_F(FieldRecordsTest, RecordsOfEveryShapeMakeTheirFieldsAndIndexes) {
  const Variant null = Variant::Null(), yes = Variant::Bool(true), no = Variant::Bool(false);
  const Variant B = V(u"*RTLB*"), E = V(u"*RTLE*"), e = V(u"*rtle*");
  const Variant records = Records(
      std::vector<std::vector<Variant>>{
          // Lower-case type word; no index.
          {B, V(u"N"), V(u"text"), Variant::I4(50), yes, V(u""), E},
          // Doubled begin marker; auto-increment; no end marker after the primary flag.
          {B, B, V(u"K"), V(u"LONG"), {}, {}, V(u"I"), yes, yes},
          // Descending; the end marker stands in for the unique flag.
          {B, V(u"F"), V(u"Text"), Variant::I4(10), no, V(u"x"), V(u"D"), E},
          // 0 as required is set; a number as default is none; an empty index code, the next record
          // straight after it.
          {B, V(u"R"), V(u"real"), Variant::I4(0), Variant::I4(5), V(u"")},
          // Null as required is set; lower-case markers are ordinary text: an index code asking for
          // an ascending index, a unique flag that is set.
          {B, V(u"B"), V(u"byte"), null, null, e, e, {}},
          // "i" is not "I": an ordinary index on a field of its type word's type.
          {B, V(u"S"), V(u"Int"), {}, {}, V(u"i"), E, E, E},
      },
      1);
  EXPECT_TRUE(Define(kCreate, "T", records));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Shape("T"), (std::vector<std::string>{"N 10 50 required zero-length", "K 4 4 auto",
                                                  "F 10 10 zero-length =x", "R 7 8 required",
                                                  "B 2 1 required", "S 3 2", "B(B) unique",
                                                  "F(F desc)", "K(K) unique primary", "S(S)"}));
}

TEST_F(FieldRecordsTest, AMalformedElementStopsTheWalkUnrecordedAndKeepsWhatWasMade) {
  const std::vector<Variant> a = {V(u"*RTLB*"), V(u"A"), V(u"LONG"), {}, {}, V(u"*RTLE*")};
  const std::vector<std::vector<Variant>> tails = {
      {V(u"*RTLB*"), V(u"N"), V(u"TEXT"), Variant::I2(50), {}, {}, V(u"*RTLE*")},
      {V(u"*rtlb*"), V(u"N"), V(u"LONG"), {}, {}, V(u"*RTLE*")},
      {V(u"*RTLB*"), V(u"N"), V(u"SINGLE"), {}, {}, V(u"*RTLE*")},
      // Breaks off in the third record.
      {V(u"*RTLB*"), V(u"B"), V(u"LONG"), {}, {}, V(u""), V(u"*RTLB*"), V(u"C"), V(u"LONG")},
      // Cut off after an index code that asks for an index: the field, but no index.
      {V(u"*RTLB*"), V(u"N"), V(u"LONG"), {}, {}, V(u"D")},
  };
  const std::vector<std::string> made[] = {
      {"A 4 4"}, {"A 4 4"}, {"A 4 4"}, {"A 4 4", "B 4 4"}, {"A 4 4", "N 4 4"}};
  for (size_t i = 0; i < tails.size(); ++i) {
    const std::string table = "T" + std::to_string(i);
    EXPECT_FALSE(Define(kCreate, table, Records({a, tails[i]}))) << i;
    EXPECT_FALSE(Error()) << i;
    EXPECT_EQ(Shape(table), made[i]) << i;
  }
  // An engine refusal is recorded; the fields before it stay.
  const std::vector<Variant> again = {V(u"*RTLB*"), V(u"id"), V(u"MEMO"), {}, {}, V(u"")};
  EXPECT_FALSE(Define(kModify, "Empty", Records({a, again})));
  EXPECT_EQ(LastCode(), dao_error::kDuplicateField);
  EXPECT_EQ(Shape("Empty"),
            (std::vector<std::string>{"ID 4 4 auto", "A 4 4", "PrimaryKey(ID) unique primary"}));
}

TEST_F(FieldRecordsTest, AnythingButAOneDimensionalVariantArrayIsRefusedBeforeAnyWork) {
  EXPECT_TRUE(Table(u"People"));
  EXPECT_FALSE(Table(u"Nowhere"));
  const Variant refused[] = {
      Variant::I4(1), Variant::Array(SafeArray(VT_VARIANT, {{0, 2}, {0, 2}})),
      Variant::Array(SafeArray::Vector(VT_BSTR, 0, {V(u"*RTLB*"), V(u"X")}))};
  for (const Variant& input : refused) {
    EXPECT_FALSE(Define(kCreate, "People", input));
    EXPECT_FALSE(Define(kModify, "People", input));
  }
  // The earlier failure's flag stands, and People is still open.
  EXPECT_TRUE(Error());
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"People"});
}

}  // namespace
}  // namespace vorlix::test
