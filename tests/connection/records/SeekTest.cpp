// Finding a record of the current table by the keys of its current index.
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

template <typename Base>
class Seeking : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    this->OpenDatabase();
  }
  bool Seek(const Variant& key) {
    return Ok([&](VARIANT_BOOL* result) { return this->db_.Seek(key, &array_, result); });
  }
  std::string Current() {
    Variant record;
    return this->Move(&CDBConnection::GetRecord, &record) ? this->NameIn(record) : "none";
  }
  Variant array_ = Untouched();
};
using SeekTest = Seeking<ConnectionTest>;
using SeekOnBothStores = Seeking<BothStoresTest>;
VORLIX_ON_BOTH_STORES(SeekOnBothStores);

TEST_P(SeekOnBothStores, OnlyAMatchMovesAndOnlyTheEngineRefusingKeysIsRecorded) {
  ASSERT_TRUE(Table(u"People", u"ByName"));
  ASSERT_TRUE(Seek(S(u"Bob")));
  EXPECT_EQ(NameIn(array_), "Bob");
  const Variant bob = array_;
  EXPECT_FALSE(Seek(S(u"Zed")));
  EXPECT_FALSE(Error());
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Seek2(bob, bob, &array_, r); }));
  EXPECT_EQ(LastCode(), dao_error::kInvalidArgument);  // two keys for a one-field index
  EXPECT_EQ(array_, bob);
  EXPECT_EQ(Current(), "Bob");

  // Opened without an index: the engine, which would refuse (3019), is not asked.
  ASSERT_TRUE(Ask(&CDBConnection::CloseCurrentTable));
  ASSERT_TRUE(Table(u"People"));
  ASSERT_TRUE(Skip(2, &array_));
  EXPECT_FALSE(Seek(S(u"Ann")));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Current(), "Cy");
}

TEST_F(SeekTest, AKeyHoldingANulFindsThatTextAlone) {
  ASSERT_TRUE(Table(u"People", u"ByName"));
  const std::u16string name(u"Ann\0x", 5);
  Variant stored;
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"Name"), S(name)}), 0, &stored, r);
  }));
  ASSERT_TRUE(Seek(S(u"Ann")));
  EXPECT_EQ(array_.AsArray().At(1), Variant::I4(1));
  ASSERT_TRUE(Seek(S(name)));
  EXPECT_EQ(array_, stored);
  EXPECT_FALSE(Seek(S(std::u16string(u"Ann\0", 4))));
}

TEST_F(SeekTest, KeysGoInIndexOrderAndSeek10ReadsOnlyTheFirstINum) {
  Sql(path_,
      "CREATE TABLE Ten (a1 LONG, a2 LONG, a3 LONG, a4 LONG, a5 LONG, a6 LONG, a7 LONG,"
      " a8 LONG, a9 LONG, a10 LONG);"
      "CREATE INDEX AllTen ON Ten (a1, a2, a3, a4, a5, a6, a7, a8, a9, a10);"
      "INSERT INTO Ten VALUES (1, 2, 3, 4, 5, 6, 7, 8, 9, 10), (1, 2, 0, 0, 0, 0, 0, 0, 0, 0),"
      " (10, 9, 8, 7, 6, 5, 4, 3, 2, 1)");
  ASSERT_TRUE(Table(u"Ten", u"AllTen"));
  std::vector<Variant> k;
  for (int32_t i = 1; i <= 10; ++i)
    k.push_back(Variant::I4(i));
  auto seek10 = [&](int32_t count) {
    return Ok([&](VARIANT_BOOL* r) {
      return db_.Seek10(k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8], k[9], count, &array_,
                        r);
    });
  };
  auto a3 = [&] { return array_.AsArray().At(5); };
  ASSERT_TRUE(seek10(10));
  EXPECT_EQ(a3(), Variant::I4(3));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Seek3(k[9], k[8], k[7], &array_, r); }));
  EXPECT_EQ(a3(), Variant::I4(8));
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Seek2(k[0], k[1], &array_, r); }));
  EXPECT_EQ(a3(), Variant::I4(0));  // (1, 2, 0 ...) comes before (1, 2, 3 ...)
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Seek2(k[1], k[0], &array_, r); }));

  // The engine would refuse any of these keys it was given.
  std::fill(k.begin() + 2, k.end(), S(u"not a number"));
  ASSERT_TRUE(seek10(2));
  EXPECT_EQ(a3(), Variant::I4(0));  // the first record with that prefix
  // Counts that name no usable keys: the engine, which refuses 0 or 11 keys, is not asked.
  array_ = Untouched();
  for (int32_t count : {0, -1, 11}) {
    EXPECT_FALSE(seek10(count)) << count;
    EXPECT_FALSE(Error()) << count;
  }
  EXPECT_EQ(array_, Untouched());
}

}  // namespace
}  // namespace vorlix::test
