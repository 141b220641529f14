// Reading the field specification array: what each record makes in the database, and where
// the walk stops.
#include "SchemaTestSupport.h"

namespace vorlix::test {
namespace {

using FieldRecordsTest = SchemaTest;
constexpr auto kCreate = &CDBConnection::CreateTable;
constexpr auto kModify = &CDBConnection::ModifyTable;
VORLIX_ON_BOTH_STORES(FieldRecordsTest);

TEST_P(FieldRecordsTest, RecordsOfEveryShapeMakeTheirFieldsAndIndexes) {
  const Variant null = Variant::Null(), yes = Variant::Bool(true), no = Variant::Bool(false);
  const Variant B = S(u"*RTLB*"), E = S(u"*RTLE*"), e = S(u"*rtle*");
  const Variant records = Records(
      {
          // Lower-case type word; no index.
          {B, S(u"N"), S(u"text"), Variant::I4(50), yes, S(u""), E},
          // Doubled begin marker; auto-increment; no end marker after the primary flag.
          {B, B, S(u"K"), S(u"LONG"), {}, {}, S(u"I"), yes, yes},
          // Descending; the end marker stands in for the unique flag.
          {B, S(u"F"), S(u"Text"), Variant::I4(10), no, S(u"x"), S(u"D"), E},
          // 0 as required is set; a number as default is none; an empty index code, the next record
          // straight after it.
          {B, S(u"R"), S(u"real"), Variant::I4(0), Variant::I4(5), S(u"")},
          // Null as required is set; lower-case markers are ordinary text: an index code asking for
          // an ascending index, a unique flag that is set.
          {B, S(u"B"), S(u"byte"), null, null, e, e, {}},
          // "i" is not "I": an ordinary index on a field of its type word's type.
          {B, S(u"S"), S(u"Int"), {}, {}, S(u"i"), E, E, E},
      },
      1);
  EXPECT_TRUE(Define(kCreate, "T", records));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Shape("T"), (std::vector<std::string>{"N 10 50 required zero-length", "K 4 4 auto",
                                                  "F 10 10 zero-length =x", "R 7 8 required",
                                                  "B 2 1 required", "S 3 2", "B(B) unique",
                                                  "F(F desc)", "K(K) unique primary", "S(S)"}));
}

TEST_P(FieldRecordsTest, AMalformedElementStopsTheWalkUnrecordedAndKeepsWhatWasMade) {
  const std::vector<Variant> a = {S(u"*RTLB*"), S(u"A"), S(u"LONG"), {}, {}, S(u"*RTLE*")};
  const std::vector<std::vector<Variant>> tails = {
      {S(u"*RTLB*"), S(u"N"), S(u"TEXT"), Variant::I2(50), {}, {}, S(u"*RTLE*")},
      {S(u"*rtlb*"), S(u"N"), S(u"LONG"), {}, {}, S(u"*RTLE*")},
      {S(u"*RTLB*"), S(u"N"), S(u"SINGLE"), {}, {}, S(u"*RTLE*")},
      // Breaks off in the third record.
      {S(u"*RTLB*"), S(u"B"), S(u"LONG"), {}, {}, S(u""), S(u"*RTLB*"), S(u"C"), S(u"LONG")},
      // Cut off after an index code that asks for an index: the field, but no index.
      {S(u"*RTLB*"), S(u"N"), S(u"LONG"), {}, {}, S(u"D")},
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
  const std::vector<Variant> again = {S(u"*RTLB*"), S(u"id"), S(u"MEMO"), {}, {}, S(u"")};
  EXPECT_FALSE(Define(kModify, "Empty", Records({a, again})));
  EXPECT_EQ(LastCode(), dao_error::kDuplicateField);
  EXPECT_EQ(Shape("Empty"),
            (std::vector<std::string>{"ID 4 4 auto", "A 4 4", "PrimaryKey(ID) unique primary"}));
}

TEST_P(FieldRecordsTest, AnythingButAOneDimensionalVariantArrayIsRefusedBeforeAnyWork) {
  EXPECT_TRUE(Table(u"People"));
  EXPECT_FALSE(Table(u"Nowhere"));
  const Variant refused[] = {
      Variant::I4(1), Variant::Array(SafeArray(VT_VARIANT, {{0, 2}, {0, 2}})),
      Variant::Array(SafeArray::Vector(VT_BSTR, 0, {S(u"*RTLB*"), S(u"X")}))};
  for (const Variant& input : refused) {
    EXPECT_FALSE(Define(kCreate, "People", input));
    EXPECT_FALSE(Define(kModify, "People", input));
  }
  // The earlier failure's flag stands, and People is still open.
  EXPECT_TRUE(Error());
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"People"});
}

// Rows there already take the field's empty value, and the field stays required, with no
// default.
TEST_P(FieldRecordsTest, ARequiredFieldAddedToATableWithRowsGivesThemItsEmptyValue) {
  const Variant yes = Variant::Bool(true);
  EXPECT_TRUE(Define(
      kModify, "People",
      Records({{S(u"*RTLB*"), S(u"Note"), S(u"TEXT"), Variant::I4(10), yes, S(u""), S(u"*RTLE*")},
               {S(u"*RTLB*"), S(u"Rank"), S(u"LONG"), yes, S(u""), S(u"*RTLE*")}})));
  EXPECT_FALSE(Error());
  const std::vector<std::string> shape = Shape("People");
  EXPECT_EQ(std::vector<std::string>(shape.begin() + 3, shape.begin() + 5),
            (std::vector<std::string>{"Note 10 10 required zero-length", "Rank 4 4 required"}));
  EXPECT_EQ(Rows(uR"(SELECT count(*) FROM "People" WHERE "Note" = '' AND "Rank" = 0)"),
            std::vector<std::string>{"VT_I4 3"});
  ASSERT_TRUE(Table(u"People"));
  Variant record;
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"Name"), S(u"Dee"), S(u"Rank"), Variant::I4(1)}), 0, &record,
                      r);
  }));
  EXPECT_EQ(LastCode(), dao_error::kRequiredIsNull);
}

}  // namespace
}  // namespace vorlix::test
