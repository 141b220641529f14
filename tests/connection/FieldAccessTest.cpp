// Reading the current record field by field.
#include "ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

class FieldAccessTest : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    OpenDatabase();
  }
  int16_t count_ = 77;
  Bstr name_ = u"untouched";
  Variant value_ = Untouched();
  VARIANT_BOOL ok_ = 7;
};
VORLIX_ON_BOTH_STORES(FieldAccessTest);

TEST_P(FieldAccessTest, FieldsMatchTheRecordArray) {
  ASSERT_TRUE(Table(u"People"));
  Variant record;
  ASSERT_TRUE(Skip(1, &record));
  EXPECT_EQ(db_.GetFieldCount(&count_, &ok_), S_OK);
  ASSERT_EQ(count_, 3);
  for (int16_t i = 0; i < count_; ++i) {
    Variant byName;
    EXPECT_EQ(db_.GetFieldName(i, &name_, &ok_), S_OK);
    EXPECT_EQ(Variant::Str(name_), record.AsArray().At(2 * i));
    EXPECT_EQ(db_.GetFieldValue(i, &value_, &ok_), S_OK);
    EXPECT_EQ(value_, record.AsArray().At(2 * i + 1));
    EXPECT_EQ(db_.GetFieldValueFromName(name_, &byName, &ok_), S_OK);
    EXPECT_EQ(byName, value_);
  }
  EXPECT_EQ(value_.vt(), VT_NULL);  // Bob's birth date
}

TEST_P(FieldAccessTest, ReadByNameGivesNullWheneverItFails) {
  auto read = [&](const char16_t* name) {
    value_ = Untouched();
    return Ok([&](VARIANT_BOOL* ok) { return db_.GetFieldValueFromName(name, &value_, ok); });
  };
  // No table: an entry check fails, and nothing is recorded.
  EXPECT_FALSE(read(u"Name"));
  EXPECT_EQ(value_.vt(), VT_NULL);
  EXPECT_FALSE(Error());
  ASSERT_TRUE(Table(u"People"));
  EXPECT_FALSE(read(u"No"));
  EXPECT_EQ(value_.vt(), VT_NULL);
  EXPECT_EQ(LastCode(), dao_error::kItemNotFound);
  EXPECT_FALSE(Skip(3, &value_));
  EXPECT_FALSE(read(u"Name"));
  EXPECT_EQ(value_.vt(), VT_NULL);
  EXPECT_EQ(LastCode(), dao_error::kNoCurrentRecord);
}

TEST_P(FieldAccessTest, PositionalReadsWriteNothingButTheResultOnFailure) {
  // No table: the result is written, as false.
  EXPECT_EQ(db_.GetFieldCount(&count_, &ok_), S_OK);
  EXPECT_EQ(ok_, VARIANT_FALSE);
  EXPECT_EQ(db_.GetFieldName(0, &name_, &ok_), S_OK);
  EXPECT_EQ(db_.GetFieldValue(0, &value_, &ok_), S_OK);
  EXPECT_EQ(count_, 77);
  EXPECT_EQ(name_, Bstr(u"untouched"));
  EXPECT_EQ(value_, Untouched());
  // An engine failure: S_FALSE, and not even the result.
  ASSERT_TRUE(Table(u"People"));
  ok_ = 7;
  EXPECT_EQ(db_.GetFieldName(-1, &name_, &ok_), S_FALSE);
  EXPECT_EQ(ok_, 7);
  EXPECT_EQ(name_, Bstr(u"untouched"));
  EXPECT_EQ(LastCode(), dao_error::kItemNotFound);
  // Past the last record there is no value to read, while the count still answers.
  EXPECT_FALSE(Skip(3, &value_));
  EXPECT_EQ(db_.GetFieldValue(0, &value_, &ok_), S_FALSE);
  EXPECT_EQ(ok_, 7);
  EXPECT_EQ(value_, Untouched());
  EXPECT_EQ(LastCode(), dao_error::kNoCurrentRecord);
  EXPECT_EQ(db_.GetFieldCount(&count_, &ok_), S_OK);
  EXPECT_EQ(count_, 3);
}

}  // namespace
}  // namespace vorlix::test
