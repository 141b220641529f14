// Pessimistic locking between two database objects on one file, as two users.
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class LockingTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakePeople();
    Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 40)");
    other_.Open(B(path_));
    mine_.Open(dbOpenTable, u"People");
    theirs_.Open(dbOpenTable, u"People");
  }

  CDaoDatabase other_;
  CDaoRecordset mine_{&db_};
  CDaoRecordset theirs_{&other_};
};

TEST_F(LockingTest, APendingRecordKeepsOtherWritersOutUntilItIsStoredOrCancelled) {
  mine_.Edit();
  mine_.SetFieldValue(u"Age", Variant::I4(31));
  EXPECT_EQ(DaoCode([&] { theirs_.Edit(); }), dao_error::kRecordLocked);
  EXPECT_EQ(DaoCode([&] { theirs_.AddNew(); }), dao_error::kRecordLocked);
  EXPECT_EQ(DaoCode([&] { theirs_.Delete(); }), dao_error::kRecordLocked);
  // Reading goes on, and sees what is stored, not what is pending.
  theirs_.Move(0);
  EXPECT_EQ(Text(theirs_.GetFieldValue(u"Age")), "30");
  theirs_.MoveNext();
  EXPECT_EQ(Text(theirs_.GetFieldValue(u"Name")), "Bob");
  mine_.Update();
  theirs_.MovePrev();
  EXPECT_EQ(Text(theirs_.GetFieldValue(u"Age")), "31");
  mine_.AddNew();
  mine_.SetFieldValue(u"Name", Bstr(u"Cy"));
  EXPECT_EQ(DaoCode([&] { theirs_.AddNew(); }), dao_error::kRecordLocked);
  CDaoQueryDef statement(&other_);  // statements of other users wait too, with their own code
  statement.Create(u"", u"UPDATE People SET Age = Age + 1");
  EXPECT_EQ(DaoCode([&] { statement.Execute(dbFailOnError); }), dao_error::kTableInUse);
  mine_.CancelUpdate();
  statement.Execute(dbFailOnError);
  theirs_.Edit();
  theirs_.SetFieldValue(u"Age", Variant::I4(35));
  theirs_.Update();
  EXPECT_EQ(Sql(path_, "SELECT Name, Age FROM People ORDER BY ID"), (Lines{"Ann|35", "Bob|41"}));
}

TEST_F(LockingTest, AFailedUpdateReleasesTheLockAndKeepsItsValues) {
  theirs_.Edit();
  theirs_.SetFieldValue(u"Name", Bstr(u""));
  EXPECT_EQ(DaoCode([&] { theirs_.Update(); }), dao_error::kZeroLengthNotAllowed);
  mine_.AddNew();  // the failed Update held on to nothing
  mine_.SetFieldValue(u"Name", Bstr(u"Cy"));
  theirs_.SetFieldValue(u"Name", Bstr(u"Annie"));
  EXPECT_EQ(DaoCode([&] { theirs_.Update(); }), dao_error::kRecordLocked);
  // Nothing of theirs holds a lock between calls: a third user can write once mine ends.
  mine_.Update();
  Sql(path_, "UPDATE People SET Age = 1 WHERE Name = 'Bob'");
  theirs_.Update();  // the values kept through both failures
  EXPECT_EQ(Sql(path_, "SELECT Name, Age FROM People ORDER BY ID"),
            (Lines{"Annie|30", "Bob|1", "Cy|NULL"}));
}

// Choosing an index moves to its first record, which ends a pending record as any move does.
TEST_F(LockingTest, ChoosingAnIndexDropsThePendingRecordAndItsLock) {
  mine_.Edit();
  mine_.SetFieldValue(u"Age", Variant::I4(99));
  mine_.SetCurrentIndex(u"ByAge");
  EXPECT_EQ(Text(mine_.GetFieldValue(u"Age")), "30");
  EXPECT_EQ(DaoCode([&] { mine_.Update(); }), dao_error::kNoPendingUpdate);
  theirs_.Edit();
  theirs_.CancelUpdate();
}

TEST_F(LockingTest, RecordsetsOfOneDatabaseShareItsLock) {
  CDaoRecordset second(&db_);
  second.Open(dbOpenTable, u"People");
  mine_.Edit();
  second.AddNew();  // the same user: no conflict
  second.SetFieldValue(u"Name", Bstr(u"Cy"));
  mine_.CancelUpdate();
  EXPECT_EQ(DaoCode([&] { theirs_.Edit(); }), dao_error::kRecordLocked);  // still held
  second.Update();
  theirs_.Edit();
  theirs_.CancelUpdate();
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM People"), Lines{"3"});
}

}  // namespace
}  // namespace vorlix::test
