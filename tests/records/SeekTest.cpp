// Finding a record of the current table by the keys of its current index.
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

class SeekTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    OpenDatabase();
  }
  bool Seek(const Variant& key) {
    return Ok([&](VARIANT_BOOL* result) { return db_.Seek(key, &array_, result); });
  }
  // Seek10 with the ten keys given and iNum count.
  bool Seek10(const std::vector<Variant>& k, int32_t count) {
    return Ok([&](VARIANT_BOOL* result) {
      return db_.Seek10(k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8], k[9], count, &array_,
                        result);
    });
  }
  Variant array_ = Untouched();
};

TEST_F(SeekTest, AMatchBecomesTheCurrentRecordAndAMissMovesNothing) {
  ASSERT_TRUE(Table(u"People", u"ByName"));
  ASSERT_TRUE(Seek(Variant::Str(u"Bob")));
  EXPECT_EQ(NameIn(array_), "Bob");
  Variant current;
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &current));
  EXPECT_EQ(current, array_);

  array_ = Untouched();
  EXPECT_FALSE(Seek(Variant::Str(u"Zed")));
  EXPECT_FALSE(Error());
  EXPECT_EQ(array_, Untouched());
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &current));
  EXPECT_EQ(NameIn(current), "Bob");

  // A key of another type than its field goes to the engine, which matches it.
  ASSERT_TRUE(Table(u"People", u"PrimaryKey"));
  ASSERT_TRUE(Seek(Variant::Str(u"3")));
  EXPECT_EQ(NameIn(array_), "Cy");
}

TEST_F(SeekTest, WithoutACurrentIndexNoSeekReachesTheEngine) {
  ASSERT_TRUE(Table(u"People"));
  ASSERT_TRUE(Skip(1, &array_));
  const Variant bob = array_;
  const Variant ann = Variant::Str(u"Ann");
  const std::vector<Variant> keys(10, ann);
  // The engine would refuse each with 3019, which would be recorded.
  EXPECT_FALSE(Seek(ann));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Seek2(ann, ann, &array_, r); }));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Seek3(ann, ann, ann, &array_, r); }));
  EXPECT_FALSE(Seek10(keys, 1));
  EXPECT_FALSE(Error());
  EXPECT_EQ(array_, bob);
  Variant current;
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &current));
  EXPECT_EQ(current, bob);
}

TEST_F(SeekTest, KeysGoInIndexOrderAndSeek10ReadsOnlyTheFirstINum) {
  Sql(path_,
      "CREATE TABLE Ten (a1 LONG, a2 LONG, a3 LONG, a4 LONG, a5 LONG, a6 LONG, a7 LONG,"
      " a8 LONG, a9 LONG, a10 LONG);"
      "CREATE INDEX AllTen ON Ten (a1, a2, a3, a4, a5, a6, a7, a8, a9, a10);"
      "INSERT INTO Ten VALUES (1, 2, 3, 4, 5, 6, 7, 8, 9, 10), (1, 2, 0, 0, 0, 0, 0, 0, 0, 0),"
      " (10, 9, 8, 7, 6, 5, 4, 3, 2, 1)");
  ASSERT_TRUE(Table(u"Ten", u"AllTen"));
  std::vector<Variant> keys;
  for (int32_t k = 1; k <= 10; ++k)
    keys.push_back(Variant::I4(k));
  auto a3 = [&] { return array_.AsArray().At(5); };
  ASSERT_TRUE(Seek10(keys, 10));
  EXPECT_EQ(a3(), Variant::I4(3));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Seek3(Variant::I4(10), Variant::I4(9), Variant::I4(8), &array_, r);
  }));
  EXPECT_EQ(a3(), Variant::I4(8));

  // Text that no Long field takes: the engine would refuse any of these keys it was given.
  std::fill(keys.begin() + 2, keys.end(), Variant::Str(u"not a number"));
  ASSERT_TRUE(Seek10(keys, 2));
  EXPECT_EQ(a3(), Variant::I4(0));  // the first record with that prefix
  // Counts that name no usable keys: nothing is sought, so the engine refuses nothing.
  array_ = Untouched();
  for (int32_t count : {0, -1, 11}) {
    EXPECT_FALSE(Seek10(keys, count)) << count;
    EXPECT_FALSE(Error()) << count;
  }
  EXPECT_EQ(array_, Untouched());
}

TEST_F(SeekTest, KeysTheIndexCannotTakeAreAnEngineFailure) {
  ASSERT_TRUE(Table(u"People", u"ByName"));
  const Variant ann = Variant::Str(u"Ann");
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Seek2(ann, ann, &array_, r); }));
  EXPECT_TRUE(Error());
  EXPECT_EQ(LastCode(), dao_error::kInvalidArgument);
  EXPECT_EQ(array_, Untouched());
  EXPECT_TRUE(Seek(ann));
  EXPECT_FALSE(Error());
}

}  // namespace
}  // namespace vorlix::test
