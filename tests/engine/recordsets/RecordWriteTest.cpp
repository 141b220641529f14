// Writing through a table-type recordset: the pending record, the checks of Update, deleting
// and bookmarks.
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class RecordWriteTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakePeople();
    Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 40)");
    rs_.Open(dbOpenTable, u"People");
  }

  CDaoRecordset rs_{&db_};
};

TEST_F(RecordWriteTest, AddNewKeepsThePositionAndTheBookmarkReachesTheNewRecord) {
  rs_.MoveNext();  // Bob
  rs_.AddNew();
  EXPECT_EQ(rs_.GetFieldValue(u"Name").vt(), VT_NULL);  // the pending record is read
  rs_.SetFieldValue(u"Name", Bstr(u"Cy"));
  rs_.SetFieldValue(u"Age", Variant::Str(u"51"));  // converted to the Integer field
  EXPECT_EQ(DaoCode([&] { rs_.SetFieldValue(u"ID", Variant::I4(99)); }), dao_error::kReadOnly);
  rs_.Update();
  EXPECT_EQ(Text(rs_.GetFieldValue(u"Name")), "Bob");
  rs_.SetBookmark(rs_.GetLastModifiedBookmark());
  EXPECT_EQ(Text(rs_.GetFieldValue(u"Name")), "Cy");
  EXPECT_EQ(rs_.GetFieldValue(u"Age").vt(), VT_I2);
  EXPECT_EQ(Sql(path_, "SELECT ID, Name, Age FROM People WHERE Name = 'Cy'"), Lines{"3|Cy|51"});
  EXPECT_EQ(DaoCode([&] { rs_.SetBookmark(Variant::I4(3)); }), dao_error::kInvalidBookmark);
  Sql(path_, "DELETE FROM People WHERE Name = 'Cy'");
  EXPECT_EQ(DaoCode([&] { rs_.SetBookmark(rs_.GetLastModifiedBookmark()); }),
            dao_error::kRecordDeleted);
}

TEST_F(RecordWriteTest, WritesNeedAPendingRecordAndValuesAreCheckedWhenWritten) {
  EXPECT_EQ(DaoCode([&] { rs_.SetFieldValue(u"Name", Bstr(u"X")); }), dao_error::kNoPendingUpdate);
  EXPECT_EQ(DaoCode([&] { rs_.CancelUpdate(); }), dao_error::kNoPendingUpdate);
  rs_.AddNew();
  EXPECT_EQ(DaoCode([&] { rs_.SetFieldValue(u"Age", Variant::Str(u"old")); }),
            dao_error::kConversionError);
  EXPECT_EQ(DaoCode([&] { rs_.SetFieldValue(u"Name", Bstr(u"A name far longer than twenty")); }),
            dao_error::kValueTooLong);
  EXPECT_EQ(DaoCode([&] { rs_.SetFieldValue(u"Nothing", Variant::I4(1)); }),
            dao_error::kItemNotFound);
  rs_.CancelUpdate();
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM People"), Lines{"2"});
}

TEST_F(RecordWriteTest, EditChangesOnlyWhatWasWrittenAndADeletedRecordCannotBeWritten) {
  Sql(path_, "UPDATE People SET Age = 31 WHERE Name = 'Ann'");
  rs_.Edit();
  EXPECT_EQ(Text(rs_.GetFieldValue(u"Age")), "31");  // the edit starts from the stored record
  rs_.SetFieldValue(u"Name", Bstr(u"Anne"));
  rs_.Update();
  EXPECT_EQ(Sql(path_, "SELECT Name, Age FROM People WHERE ID = 1"), Lines{"Anne|31"});
  rs_.Edit();
  rs_.SetFieldValue(u"Name", Bstr(u"Changed"));
  rs_.MoveNext();  // a move drops the pending edit
  EXPECT_EQ(Sql(path_, "SELECT Name FROM People WHERE ID = 1"), Lines{"Anne"});
  Sql(path_, "DELETE FROM People WHERE ID = 2");
  EXPECT_EQ(DaoCode([&] { rs_.Edit(); }), dao_error::kRecordDeleted);
  EXPECT_EQ(DaoCode([&] { rs_.Delete(); }), dao_error::kRecordDeleted);
  EXPECT_EQ(DaoCode([&] { rs_.GetFieldValue(0); }), dao_error::kRecordDeleted);
}

TEST_F(RecordWriteTest, RelationsAreEnforced) {
  Exec(
      "CREATE TABLE Pets (Owner LONG, Name TEXT(20), "
      "CONSTRAINT PeoplePets FOREIGN KEY (Owner) REFERENCES People (ID))");
  CDaoRecordset pets(&db_);
  pets.Open(dbOpenTable, u"Pets");
  pets.AddNew();
  pets.SetFieldValue(u"Owner", Variant::I4(9));
  EXPECT_EQ(DaoCode([&] { pets.Update(); }), dao_error::kRelatedRecordRequired);
  pets.SetFieldValue(u"Owner", Variant::I4(1));
  pets.Update();
  EXPECT_EQ(DaoCode([&] { rs_.Delete(); }), dao_error::kRelatedRecordsExist);
  CDaoQueryDef deleting(&db_);
  deleting.Create(u"", u"DELETE FROM People");
  EXPECT_EQ(DaoCode([&] { deleting.Execute(); }), dao_error::kRelatedRecordsExist);
  rs_.Edit();
  rs_.SetFieldValue(u"Age", Variant::I4(33));  // a change that touches no key is fine
  rs_.Update();
  // A table on both sides: a missing parent is told apart from orphaned children.
  Exec(
      "CREATE TABLE Staff (ID LONG PRIMARY KEY, Boss LONG, "
      "CONSTRAINT StaffStaff FOREIGN KEY (Boss) REFERENCES Staff (ID))");
  Exec("INSERT INTO Staff VALUES (1, NULL), (2, 1)");
  CDaoRecordset staff(&db_);
  staff.Open(dbOpenTable, u"Staff");
  staff.Edit();
  staff.SetFieldValue(u"ID", Variant::I4(7));
  EXPECT_EQ(DaoCode([&] { staff.Update(); }), dao_error::kRelatedRecordsExist);
  staff.CancelUpdate();
  staff.MoveNext();
  staff.Edit();
  staff.SetFieldValue(u"Boss", Variant::I4(9));
  EXPECT_EQ(DaoCode([&] { staff.Update(); }), dao_error::kRelatedRecordRequired);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM People"), Lines{"2"});
}

TEST_F(RecordWriteTest, ReadOnlyRecordsetsAndDatabasesRefuseWrites) {
  CDaoRecordset readOnly(&db_);
  readOnly.Open(dbOpenTable, u"People", dbReadOnly);
  EXPECT_EQ(DaoCode([&] { readOnly.AddNew(); }), dao_error::kReadOnly);
  EXPECT_EQ(DaoCode([&] { readOnly.Edit(); }), dao_error::kReadOnly);
  EXPECT_EQ(DaoCode([&] { readOnly.Delete(); }), dao_error::kReadOnly);
  CDaoRecordset catalog(&db_);
  catalog.Open(dbOpenTable, u"MSysCounters");
  EXPECT_EQ(DaoCode([&] { catalog.Delete(); }), dao_error::kReadOnly);
  CDaoDatabase db;
  db.Open(B(path_), false, true);
  CDaoRecordset rs(&db);
  rs.Open(dbOpenTable, u"People");
  EXPECT_EQ(DaoCode([&] { rs.AddNew(); }), dao_error::kReadOnly);
  EXPECT_EQ(Text(rs.GetFieldValue(u"Name")), "Ann");
}

TEST_F(RecordWriteTest, ClosingTheDatabaseClosesItsRecordsetsAndDropsPendingRecords) {
  rs_.AddNew();
  rs_.SetFieldValue(u"Name", Bstr(u"Never"));
  db_.Close();
  EXPECT_FALSE(rs_.IsOpen());
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM People"), Lines{"2"});
  Sql(path_, "INSERT INTO People (Name) VALUES ('Free')");  // no lock was left behind
}

}  // namespace
}  // namespace vorlix::test
