// Moving through the current table, and the record arrays that come back.
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

template <typename Base>
class Navigation : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    this->OpenDatabase();
    ASSERT_TRUE(this->Table(u"People"));
  }
  Variant array_ = Untouched();
};
using NavigationTest = Navigation<ConnectionTest>;
using NavigationOnBothStores = Navigation<BothStoresTest>;
VORLIX_ON_BOTH_STORES(NavigationOnBothStores);

TEST_F(NavigationTest, RecordArrayAlternatesNamesAndValuesFromZero) {
  Sql(path_, "INSERT INTO People VALUES (4, '  Dee  ', NULL)");
  ASSERT_TRUE(Move(&CDBConnection::Top, &array_));
  EXPECT_EQ(array_.vt(), VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(array_.AsArray().Bounds(), (std::vector<ArrayBound>{{0, 6}}));
  const std::vector<Variant> ann = {S(u"ID"),  Variant::I4(1), S(u"Name"),
                                    S(u"Ann"), S(u"Born"),     Variant::Date(18297)};
  EXPECT_EQ(array_.AsArray().Elements(), ann);
  // Counting does not move the cursor.
  int32_t count = 99;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* ok) { return db_.Count(&count, ok); }));
  EXPECT_EQ(count, 4);
  Variant again;
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &again));
  EXPECT_EQ(again, array_);
  // Null stays Null, and text comes back whole, spaces included.
  ASSERT_TRUE(Move(&CDBConnection::Bottom, &array_));
  EXPECT_EQ(NameIn(array_), "  Dee  ");
  EXPECT_EQ(array_.AsArray().At(5).vt(), VT_NULL);
}

TEST_P(NavigationOnBothStores, EmptyTableIsAtBothEndsAndYieldsNoRecord) {
  ASSERT_TRUE(Table(u"Empty"));
  EXPECT_FALSE(Move(&CDBConnection::Top, &array_));
  EXPECT_FALSE(Move(&CDBConnection::Bottom, &array_));
  EXPECT_FALSE(Move(&CDBConnection::GetRecord, &array_));
  EXPECT_EQ(array_, Untouched());
  EXPECT_FALSE(Error());
  EXPECT_TRUE(Ask(&CDBConnection::IsEOF));
  EXPECT_TRUE(Ask(&CDBConnection::IsBOF));
}

TEST_P(NavigationOnBothStores, SkipStopsAtEitherEndWithoutAnError) {
  EXPECT_FALSE(Skip(0, &array_));
  Variant record;
  ASSERT_TRUE(Skip(2, &record));
  EXPECT_EQ(NameIn(record), "Cy");
  EXPECT_FALSE(Skip(1, &array_));
  EXPECT_TRUE(Ask(&CDBConnection::IsEOF));
  // The engine refuses a move forward from EOF; Skip does not ask it, so nothing is recorded.
  EXPECT_FALSE(Skip(1, &array_));
  EXPECT_FALSE(Error());
  EXPECT_EQ(array_, Untouched());

  ASSERT_TRUE(Skip(-2, &record));
  EXPECT_EQ(NameIn(record), "Bob");
  EXPECT_FALSE(Skip(-3, &array_));
  EXPECT_TRUE(Ask(&CDBConnection::IsBOF));
  EXPECT_FALSE(Skip(-1, &array_));
  EXPECT_FALSE(Error());
  EXPECT_EQ(array_, Untouched());
}

// Without a database, or when another program drops the table under the open recordset.
TEST_F(NavigationTest, WithoutATableOnlyResultsAndAZeroCountAreWrittenAndFailuresRecorded) {
  const std::pair<const char*, bool> cases[] = {{"close", false}, {"drop", true}};
  for (const auto& [what, recorded] : cases) {
    SCOPED_TRACE(what);
    if (recorded) {
      OpenDatabase();
      ASSERT_TRUE(Table(u"People"));
      Sql(path_, "DROP TABLE People");
    } else {
      ASSERT_TRUE(Ask(&CDBConnection::Close));
      EXPECT_FALSE(Ask(&CDBConnection::IsEOF));
    }
    EXPECT_FALSE(Move(&CDBConnection::Top, &array_));
    EXPECT_EQ(Error(), recorded);
    EXPECT_FALSE(Skip(1, &array_));
    EXPECT_EQ(Error(), recorded);
    EXPECT_EQ(array_, Untouched());
    int32_t count = 99;
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(db_.Count(&count, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(LastCode(), recorded ? dao_error::kEngineFailure : 0);
  }
}

}  // namespace
}  // namespace vorlix::test
