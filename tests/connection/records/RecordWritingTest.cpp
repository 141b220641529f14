// Appending, replacing and deleting records of the current table, read back from the file.
#include <chrono>

#include "engine/recordsets/Recordset.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/Definitions.h"

namespace vorlix::test {
namespace {

using std::chrono::milliseconds;

class RecordWritingTest : public ConnectionTest {
 protected:
  // Adds Notes (ID auto-numbered, Title Text(50), Body Memo, Amount Long with a unique index)
  // holding one record. Body is declared as the engine declares Memo: under MEMO, SQLite
  // would keep a text of digits as a number.
  void SetUp() override {
    ConnectionTest::SetUp();
    Sql(path_,
        "CREATE TABLE Notes (ID COUNTER PRIMARY KEY, Title TEXT(50), Body LONGTEXT, Amount LONG);"
        "CREATE UNIQUE INDEX ByAmount ON Notes (Amount);"
        "INSERT INTO Notes VALUES (1, 'old', 'text', 1)");
    OpenDatabase();
    ASSERT_TRUE(Table(u"Notes"));
  }
  bool Append(const Variant& values, VARIANT_BOOL setEmptyString = 0) {
    return Ok([&](VARIANT_BOOL* r) { return db_.Append(values, setEmptyString, &array_, r); });
  }
  bool Replace(const Variant& values) {
    return Ok([&](VARIANT_BOOL* r) { return db_.Replace(values, &array_, r); });
  }
  bool Delete() { return Ask(&CDBConnection::Delete); }
  std::vector<std::string> Notes() {
    return Sql(path_, "SELECT ID, Title, Body, Amount FROM Notes ORDER BY ID");
  }

  Variant array_ = Untouched();
};

TEST_F(RecordWritingTest, AppendWritesThePairsAndTheStoredRecordBecomesCurrent) {
  // From lower bound 1; names end at a NUL; the later of two pairs wins; the auto-increment
  // field is left to the engine; "42" is the engine's to convert.
  const Variant values = VariantArray(
      {S(u"Title"), S(u"first"), S(u"ID"), Variant::I4(99), S(std::u16string(u"Body\0x", 6)),
       S(u"kept"), S(u"Title"), S(u"second"), S(u"Amount"), S(u"42")},
      1);
  ASSERT_TRUE(Append(values));
  EXPECT_FALSE(Error());
  const std::vector<Variant> stored = {S(u"ID"),   Variant::I4(2), S(u"Title"),  S(u"second"),
                                       S(u"Body"), S(u"kept"),     S(u"Amount"), Variant::I4(42)};
  EXPECT_EQ(array_.AsArray().Elements(), stored);
  Variant current;
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &current));
  EXPECT_EQ(current, array_);
  EXPECT_EQ(Notes(), (std::vector<std::string>{"1|old|text|1", "2|second|kept|42"}));
}

TEST_F(RecordWritingTest, StringsAreCutOnlyForTextAndEmptyOnesAreStoredAsASpace) {
  std::u16string long_text;
  while (long_text.size() < 300)
    long_text += u"0123456789";
  ASSERT_TRUE(Append(VariantArray({S(u"Title"), S(long_text), S(u"Body"), S(long_text)})));
  ASSERT_TRUE(Append(VariantArray({S(u"Title"), S(u""), S(u"Body"), S(u"")})));
  ASSERT_TRUE(Append(VariantArray({S(u"Title"), Variant::Null(), S(u"Body"), Variant()})));
  // A cut through a character drops all of it: 49 units and the first half of U+1F600.
  ASSERT_TRUE(Append(VariantArray({S(u"Title"), S(std::u16string(49, u'a') + u"\U0001F600b")})));
  EXPECT_EQ(
      Sql(path_,
          "SELECT length(Title), length(Body), Title = substr(Body, 1, 50), typeof(Title),"
          " quote(Body) FROM Notes WHERE ID > 1 ORDER BY ID"),
      (std::vector<std::string>{"50|300|1|text|'" + Bstr(long_text).Utf8() + "'", "1|1|1|text|' '",
                                "NULL|NULL|NULL|null|NULL", "49|NULL|NULL|text|NULL"}));
}

// Text carries its length: a NUL is a character like any other, stored, returned and counted
// against a Text field's size.
TEST_F(RecordWritingTest, TextValuesKeepEveryCharacterANulToo) {
  const std::u16string body(u"a\0b", 3);
  ASSERT_TRUE(Append(VariantArray(
      {S(u"Title"), S(std::u16string(49, u'x') + u'\0' + u"cut"), S(u"Body"), S(body)})));
  EXPECT_EQ(array_.AsArray().At(5), S(body));
  ASSERT_TRUE(Replace(VariantArray({S(u"Body"), S(std::u16string(u"\0\0", 2))})));
  EXPECT_EQ(array_.AsArray().At(5), S(std::u16string(u"\0\0", 2)));
  std::string title;
  for (int i = 0; i < 49; ++i)
    title += "78";
  EXPECT_EQ(Sql(path_, "SELECT hex(Title), hex(Body) FROM Notes WHERE ID = 2"),
            std::vector<std::string>{title + "00|0000"});
}

// The array is read to its end before the record array takes its place, and a refused one
// stays as the caller made it.
TEST_F(RecordWritingTest, TheArrayMayComeInTheVariableTheRecordArrayGoesTo) {
  Variant inout = VariantArray({S(u"Title"), S(u"same"), S(u"Amount"), Variant::I4(7)});
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Append(inout, 0, &inout, r); }));
  EXPECT_EQ(inout.AsArray().At(3), S(u"same"));
  EXPECT_EQ(inout.AsArray().At(7), Variant::I4(7));
  inout = VariantArray({S(u"Title"), S(u"again")});
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Replace(inout, &inout, r); }));
  EXPECT_EQ(inout.AsArray().At(3), S(u"again"));
  const Variant refused = VariantArray({S(u"Title"), S(u"x"), S(u"Nope"), S(u"x")});
  inout = refused;
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.Append(inout, 0, &inout, r); }));
  EXPECT_EQ(inout, refused);
  EXPECT_EQ(Notes(), (std::vector<std::string>{"1|old|text|1", "2|again|NULL|7"}));
}

TEST_F(RecordWritingTest, ArraysThatCannotBeWrittenLeaveNoRecordAndNoError) {
  SafeArray twoDimensions(VT_VARIANT, {{0, 2}, {0, 1}});
  twoDimensions.Set(std::vector<int32_t>{0, 0}, S(u"Title"));
  twoDimensions.Set(std::vector<int32_t>{1, 0}, S(u"x"));
  const std::vector<Variant> refused = {
      VariantArray({S(u"Title"), S(u"x"), Variant::I4(1), S(u"x")}),  // a name that is no string
      VariantArray({S(u"Title"), S(u"x"), S(u"Nope"), S(u"x")}),      // a field the table lacks
      VariantArray({S(u"Title"), S(u"x"), S(u"Amount"), S(u"abc")}),  // a value the field refuses
      VariantArray({S(u"Title"), S(u"x"), S(u"Amount")}),             // a name without its value
      S(u"Title"),                                                    // no array
      Variant::Array(SafeArray::Vector(VT_BSTR, 0, {S(u"Title"), S(u"x")})),
      Variant::Array(std::move(twoDimensions)),
  };
  for (const Variant& values : refused) {
    EXPECT_FALSE(Append(values, VARIANT_TRUE)) << VarTypeName(values.vt());
    EXPECT_FALSE(Replace(values));
    EXPECT_FALSE(Error());
  }
  EXPECT_EQ(array_, Untouched());
  // Nothing was left pending: another user can write at once.
  Sql(path_, "INSERT INTO Notes (Title) VALUES ('theirs')");
  EXPECT_EQ(Notes(), (std::vector<std::string>{"1|old|text|1", "2|theirs|NULL|NULL"}));
}

TEST_F(RecordWritingTest, MinusOnePresetGivesRequiredTextFieldsAStart) {
  Define(u"Forms",
         {Field(u"Code", dbText, 10, 0, true), Field(u"Kind", dbText, 10, 0, true, false, u"plain"),
          Field(u"Remark", dbMemo, 0, 0, true, true), Field(u"Spare", dbText, 10)});
  ASSERT_TRUE(Table(u"Forms"));
  ASSERT_TRUE(Append(VariantArray({S(u"Kind"), S(u"given")}), VARIANT_TRUE));
  ASSERT_TRUE(Append(VariantArray({S(u"Code"), S(u"c")}), VARIANT_TRUE));
  EXPECT_EQ(Sql(path_, "SELECT quote(Code), Kind, quote(Remark), quote(Spare) FROM Forms"),
            (std::vector<std::string>{"' '|given|''|NULL", "'c'|plain|''|NULL"}));
}

TEST_F(RecordWritingTest, ReplaceWritesOnlyTheNamedFieldsOfTheCurrentRecord) {
  Variant record;
  ASSERT_TRUE(Move(&CDBConnection::GetRecord, &record));
  // A record array goes back unchanged; its auto-increment number is not written.
  ASSERT_TRUE(Replace(record));
  EXPECT_EQ(array_, record);
  ASSERT_TRUE(Replace(VariantArray({S(u"Title"), S(u"new")}, 5)));
  EXPECT_EQ(array_.AsArray().At(3), S(u"new"));
  EXPECT_EQ(Notes(), std::vector<std::string>{"1|new|text|1"});

  ASSERT_TRUE(Append(VariantArray({S(u"Amount"), Variant::I4(2)})));
  array_ = Untouched();
  EXPECT_FALSE(Replace(VariantArray({S(u"Amount"), Variant::I4(1)})));
  EXPECT_TRUE(Error());
  EXPECT_EQ(LastCode(), dao_error::kDuplicateValue);
  EXPECT_EQ(array_, Untouched());
  EXPECT_EQ(Notes(), (std::vector<std::string>{"1|new|text|1", "2|NULL|NULL|2"}));
}

TEST_F(RecordWritingTest, DeleteLeavesTheCursorOnTheDeletedRecord) {
  ASSERT_TRUE(Table(u"People"));
  ASSERT_TRUE(Delete());
  EXPECT_FALSE(Error());
  EXPECT_FALSE(Move(&CDBConnection::GetRecord, &array_));
  EXPECT_EQ(LastCode(), dao_error::kRecordDeleted);
  ASSERT_TRUE(Skip(1, &array_));
  EXPECT_EQ(NameIn(array_), "Bob");
  EXPECT_EQ(Sql(path_, "SELECT Name FROM People"), (std::vector<std::string>{"Bob", "Cy"}));
  ASSERT_TRUE(Table(u"Empty"));
  EXPECT_FALSE(Delete());
  EXPECT_EQ(LastCode(), dao_error::kNoCurrentRecord);
}

TEST_F(RecordWritingTest, AReadOnlyDatabaseIsRefusedWithoutAnError) {
  ASSERT_EQ(Open(path_, 0, VARIANT_TRUE), B(path_));
  ASSERT_TRUE(Table(u"Notes"));
  const Variant values = VariantArray({S(u"Title"), S(u"x")});
  EXPECT_FALSE(Append(values));
  EXPECT_FALSE(Replace(values));
  EXPECT_FALSE(Delete());
  EXPECT_FALSE(Error());
  EXPECT_EQ(Notes(), std::vector<std::string>{"1|old|text|1"});
}

// Another user is another database object with a connection of its own: on a server, a
// session as a second machine would have.
class WritingOnBothStores : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    OpenDatabase();
    ASSERT_TRUE(Table(u"People", u"ByName"));
  }
  Variant array_ = Untouched();
};
VORLIX_ON_BOTH_STORES(WritingOnBothStores);

TEST_P(WritingOnBothStores, WritesAreSeenByAnotherUserWhoseLockIsRetried) {
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"Name"), S(u"Dee")}), 0, &array_, r);
  }));
  EXPECT_EQ(array_.AsArray().At(1), Variant::I4(4));  // numbered after Cy
  CDaoDatabase other;
  other.Open(B(path_));
  CDaoRecordset theirs(&other);
  theirs.Open(dbOpenTable, u"People");
  theirs.SetCurrentIndex(u"ByName");
  const Variant key = S(u"DEE");  // found without regard to case
  ASSERT_TRUE(theirs.Seek("=", &key));
  EXPECT_EQ(theirs.GetFieldValue(u"Name"), S(u"Dee"));

  // A lock of another user is waited for twenty attempts at most, by the writers of records
  // and by Delete alike (Replace's give-up on a server: tests/client/TwoServersTest); a give-up
  // records no error. The pauses' lengths are the policy's, tested with it.
  theirs.AddNew();  // holds the database's write lock until it ends
  std::vector<milliseconds> pauses;
  sleep_ = [&](milliseconds pause) { pauses.push_back(pause); };
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"Name"), S(u"Eve")}), 0, &array_, r);
  }));
  EXPECT_FALSE(Error());
  EXPECT_EQ(pauses.size(), 20u);
  pauses.clear();
  sleep_ = [&](milliseconds pause) {
    pauses.push_back(pause);
    if (pauses.size() == 3) theirs.CancelUpdate();
  };
  EXPECT_TRUE(Ask(&CDBConnection::Delete));
  EXPECT_EQ(pauses.size(), 3u);
  EXPECT_EQ(theirs.GetRecordCount(), 3);
  EXPECT_FALSE(theirs.Seek("=", &key));
}

TEST_P(WritingOnBothStores, AGuidComesBackInTheFormItWasWritten) {
  Define(u"Ids", {Field(u"G", dbGUID)});  // field records have no word for GUID
  ASSERT_TRUE(Table(u"Ids"));
  const Variant guid = S(u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"G"), S(u"{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}")}), 0,
                      &array_, r);
  }));
  EXPECT_EQ(array_.AsArray().At(1), guid);
}

}  // namespace
}  // namespace vorlix::test
