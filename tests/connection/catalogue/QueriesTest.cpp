// Rows of statements and saved queries as result-set arrays, and action statements.
#include "automation/SafeArray.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/connection/catalogue/AllocationLimit.h"

namespace vorlix::test {
namespace {

using Strings = std::vector<std::string>;

class QueriesTest : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    Define(u"Towns", {Field(u"Name", dbText, 20), Field(u"City", dbText, 255)}, {},
           {uR"(INSERT INTO "Towns" ("Name", "City") VALUES ('Ann', 'Oslo'), ('Bob', 'Rome'),
                ('Cy', 'Oslo'))"});
    OpenDatabase();
  }
  // The rows of sql or of a saved query shown, or "failed" with what the out-parameter then holds.
  Strings Rows(const char16_t* sql) {
    return Shown([&](Variant* out, VARIANT_BOOL* r) { return db_.SQL(sql, out, r); });
  }
  Strings Query(const char16_t* name, const Variant& parameters) {
    return Shown(
        [&](Variant* out, VARIANT_BOOL* r) { return db_.Query(name, parameters, out, r); });
  }
  template <typename Call>
  Strings Shown(Call call) {
    Variant out = Untouched();
    if (!Ok([&](VARIANT_BOOL* r) { return call(&out, r); })) return {"failed", Show(out)};
    return Elements(out);
  }
  bool CreateQuery(const char16_t* name, const char16_t* sql) {
    return Ok([&](VARIANT_BOOL* r) { return db_.CreateQuery(name, sql, r); });
  }
  // *count is -5 unless written.
  bool Command(const char16_t* sql, int32_t* count) {
    *count = -5;
    return Ok([&](VARIANT_BOOL* r) { return db_.CommandWithRecords(sql, count, r); });
  }
};
VORLIX_ON_BOTH_STORES(QueriesTest);
class QueriesOnFiles : public QueriesTest {};
VORLIX_ON_FILES(QueriesOnFiles);

const Strings kFailedUntouched = {"failed", "VT_BSTR untouched"};

TEST_P(QueriesTest, ResultSetLayout) {
  // One field: bare values.
  EXPECT_EQ(Rows(uR"(SELECT "Name" FROM "People" ORDER BY "ID")"),
            (Strings{"VT_BSTR Ann", "VT_BSTR Bob", "VT_BSTR Cy"}));
  // A statement that begins with WITH may read too.
  EXPECT_EQ(Rows(uR"(WITH t AS (SELECT "Name" FROM "People" WHERE "ID" = 2) SELECT "Name" FROM t)"),
            Strings{"VT_BSTR Bob"});
  // Other counts: a marker, then name and value pairs; a Null keeps its place, and a value
  // that looks like the marker is passed on as it is.
  EXPECT_EQ(Rows(uR"(SELECT "ID", "Born", '*NewRecord*' AS "Note" FROM "People" WHERE "ID" > 1
                    ORDER BY "ID")"),
            (Strings{"VT_BSTR *NewRecord*", "VT_BSTR ID", "VT_I4 2", "VT_BSTR Born", "VT_NULL",
                     "VT_BSTR Note", "VT_BSTR *NewRecord*", "VT_BSTR *NewRecord*", "VT_BSTR ID",
                     "VT_I4 3", "VT_BSTR Born", "VT_DATE 33238.000000", "VT_BSTR Note",
                     "VT_BSTR *NewRecord*"}));
  EXPECT_EQ(Rows(uR"(SELECT * FROM "People" WHERE "ID" > 9)"), Strings{"not an array: VT_EMPTY"});
  EXPECT_FALSE(Error());
  EXPECT_EQ(Rows(uR"(SELECT * FROM "Nowhere")"), kFailedUntouched);
  EXPECT_EQ(LastCode(), dao_error::kNoSuchTable);
  // A row that fails part-way fails the call: none of the rows read before it is answered.
  EXPECT_EQ(Rows(uR"(SELECT CASE WHEN "ID" = 3 THEN abs(-9223372036854775807 - 1) ELSE "ID" END
                    FROM "People" ORDER BY "ID")"),
            kFailedUntouched);
  EXPECT_TRUE(Error());
  // Without a database: false, unlike Query.
  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_EQ(Rows(u"SELECT 1"), kFailedUntouched);
  EXPECT_FALSE(Error());
}

// A column taken straight from a table's column keeps the field's type: a Currency comes
// back as a Currency, not as the number the store keeps.
TEST_P(QueriesTest, ColumnsOfTablesComeBackAsTheirFieldsGiveThem) {
  Define(u"Kinds",
         {Field(u"B", dbBoolean), Field(u"Y", dbByte), Field(u"I", dbInteger), Field(u"L", dbLong),
          Field(u"C", dbCurrency), Field(u"S", dbSingle), Field(u"D", dbDouble),
          Field(u"T", dbDate), Field(u"X", dbText, 10), Field(u"M", dbMemo), Field(u"G", dbGUID)});
  ASSERT_TRUE(Table(u"Kinds"));
  Variant record;
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"B"), Variant::Bool(true),
                                    S(u"Y"), Variant::Unsigned(VT_UI1, 200),
                                    S(u"I"), Variant::I2(-3),
                                    S(u"L"), Variant::I4(70000),
                                    S(u"C"), Variant::Currency(123456),
                                    S(u"S"), Variant::Real(VT_R4, 1.5),
                                    S(u"D"), Variant::R8(2.25),
                                    S(u"T"), Variant::Date(33238.5),
                                    S(u"X"), S(u"x"),
                                    S(u"M"), S(u"memo"),
                                    S(u"G"), S(u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}")}),
                      0, &record, r);
  }));
  Strings expected = Elements(record);
  expected.insert(expected.begin(), "VT_BSTR *NewRecord*");
  EXPECT_EQ(Rows(uR"(SELECT "B", "Y", "I", "L", "C", "S", "D", "T", "X", "M", "G" FROM "Kinds")"),
            expected);
  EXPECT_EQ(expected[10], "VT_CY 123456");
}

TEST_P(QueriesTest, StatementsAndQueriesLeaveTheCurrentTableWhereItWas) {
  EXPECT_TRUE(CreateQuery(u"All", uR"(SELECT "Name" FROM "Towns")"));
  EXPECT_TRUE(Table(u"Towns"));
  EXPECT_TRUE(Table(u"People", u"ByName"));
  Variant record;
  EXPECT_TRUE(Skip(1, &record));
  EXPECT_EQ(Rows(uR"(SELECT "Name" FROM "People")").size(), 3u);
  EXPECT_EQ(Query(u"All", VariantArray({})).size(), 3u);
  EXPECT_TRUE(Move(&CDBConnection::GetRecord, &record));
  EXPECT_EQ(NameIn(record), "Bob");
  EXPECT_EQ(DrainTables(), (Strings{"People", "Towns"}));
}

TEST_P(QueriesTest, SavedParameterQueries) {
  const char16_t kByCity[] =
      uR"(PARAMETERS [City] Text(255); SELECT "Name" FROM "Towns" WHERE "City" = [City])";
  // New: saved although the failure to find it stays recorded.
  EXPECT_TRUE(CreateQuery(u"ByCity", kByCity));
  EXPECT_TRUE(Error());
  EXPECT_EQ(LastCode(), dao_error::kNoSuchTable);
  // Pairs are read from the lower bound, whatever it is.
  EXPECT_EQ(Query(u"ByCity", VariantArray({S(u"City"), S(u"Oslo")}, 1)),
            (Strings{"VT_BSTR Ann", "VT_BSTR Cy"}));
  // A parameter's name ends at its first NUL.
  EXPECT_EQ(Query(u"ByCity", VariantArray({S(std::u16string(u"City\0Town", 9)), S(u"Oslo")})),
            (Strings{"VT_BSTR Ann", "VT_BSTR Cy"}));
  // Existing: its statement is replaced, with nothing recorded.
  EXPECT_TRUE(CreateQuery(u"ByCity",
                          uR"(PARAMETERS [City] Text(255);
                             SELECT "Name", "City" FROM "Towns" WHERE "City" <> [City])"));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Query(u"BYCITY", VariantArray({S(u"City"), S(u"Oslo")}, -3)),
            (Strings{"VT_BSTR *NewRecord*", "VT_BSTR Name", "VT_BSTR Bob", "VT_BSTR City",
                     "VT_BSTR Rome"}));
  // The engine's refusals are recorded.
  EXPECT_EQ(Query(u"ByCity", VariantArray({S(u"Town"), S(u"Oslo")})), kFailedUntouched);
  EXPECT_EQ(LastCode(), dao_error::kItemNotFound);
  EXPECT_EQ(Query(u"ByCity", VariantArray({})), kFailedUntouched);
  EXPECT_EQ(LastCode(), dao_error::kTooFewParameters);
  // A statement that cannot replace the saved one is refused by the second attempt too.
  EXPECT_FALSE(CreateQuery(u"ByCity", u"PARAMETERS City; SELECT 1"));
  EXPECT_EQ(LastCode(), dao_error::kSyntaxError);
}

TEST_P(QueriesTest, QueryRefusesParametersItCannotReadWithoutRecording) {
  EXPECT_TRUE(
      CreateQuery(u"ByCity", uR"(PARAMETERS [City] Text(255); SELECT "City" FROM "Towns")"));
  SafeArray square(VT_VARIANT, {{0, 2}, {0, 1}});
  square.Set(std::vector<int32_t>{0, 0}, S(u"City"));
  for (const Variant& parameters :
       {VariantArray({Variant::I4(1), S(u"Oslo")}),
        VariantArray({S(u"City"), S(u"Oslo"), S(u"City")}),
        Variant::Array(SafeArray::Vector(VT_BSTR, 0, {S(u"City"), S(u"x")})),
        Variant::Array(std::move(square)), Variant(), S(u"City")}) {
    EXPECT_EQ(Query(u"ByCity", parameters), kFailedUntouched) << Show(parameters);
    EXPECT_FALSE(Error()) << Show(parameters);
  }
  // The shape is judged before the query is looked for.
  EXPECT_EQ(Query(u"Nowhere", Variant()), kFailedUntouched);
  EXPECT_FALSE(Error());
  // Without a database: success, and nothing written.
  EXPECT_TRUE(Ask(&CDBConnection::Close));
  Variant out = Untouched();
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Query(u"ByCity", Variant(), &out, r); }));
  EXPECT_EQ(out, Untouched());
  EXPECT_TRUE(CreateQuery(u"Other", u"SELECT 1"));
}

TEST_P(QueriesTest, CommandsCountTheirRecordsAndAreRefusedOnAReadOnlyDatabase) {
  int32_t count = 0;
  EXPECT_TRUE(Command(uR"(UPDATE "Towns" SET "City" = 'Bergen' WHERE "City" = 'Oslo')", &count));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(Command(uR"(DELETE FROM "Towns" WHERE "City" = 'Oslo')", &count));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Command(uR"(DELETE FROM "Towns")", r); }));
  EXPECT_EQ(Rows(uR"(SELECT count(*) FROM "Towns")"), Strings{"VT_I4 0"});
  EXPECT_FALSE(Command(uR"(DELETE FROM "Nowhere")", &count));
  EXPECT_EQ(count, -5);
  EXPECT_EQ(LastCode(), dao_error::kNoSuchTable);

  ASSERT_EQ(Open(path_, 0, VARIANT_TRUE), B(path_));
  EXPECT_FALSE(Command(uR"(DELETE FROM "People")", &count));
  EXPECT_EQ(count, -5);
  EXPECT_FALSE(Error());
  EXPECT_EQ(Rows(uR"(SELECT count(*) FROM "People")"), Strings{"VT_I4 3"});

  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_TRUE(Command(uR"(DELETE FROM "People")", &count));
  EXPECT_EQ(count, -5);
}

// The limit is of this process's memory: a server's client library would fail on it first.
TEST_P(QueriesOnFiles, AResultTooLargeToHoldFailsAndTheConnectionGoesOn) {
  Sql(path_,
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
      " INSERT INTO Towns SELECT 'Town', 'City' FROM n");
  // The first leaves room for the snapshot's rows, not for an array of nine elements a row;
  // the second not even for the snapshot.
  for (size_t bytesPerRow : {128, 16}) {
    AllocationLimit limit(5000 * bytesPerRow);
    Variant out = Untouched();
    EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) {
      return db_.SQL(u"SELECT Name, City, Name AS N, City AS C FROM Towns", &out, r);
    }));
    EXPECT_EQ(out, Untouched());
    EXPECT_FALSE(Error());
  }
  EXPECT_EQ(Rows(u"SELECT count(*) FROM Towns"), Strings{"VT_I4 5003"});
}

}  // namespace
}  // namespace vorlix::test
