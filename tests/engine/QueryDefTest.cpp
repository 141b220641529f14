// Query definitions: temporary and saved queries, parameters, Execute, snapshots and links.
#include "RecordTestSupport.h"
#include "engine/TableDef.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;
using test::Text;

class QueryDefTest : public test::RecordTest {
 protected:
  void SetUp() override {
    RecordTest::SetUp();
    MakePeople();
    Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 40), ('Cy', 50)");
  }

  // Every row of a snapshot of sql, its values joined by '|'.
  std::vector<std::string> Rows(CDaoQueryDef& q) {
    CDaoRecordset rs(&db_);
    rs.Open(&q, dbOpenSnapshot, 0);
    std::vector<std::string> rows;
    for (; !rs.IsEOF(); rs.MoveNext()) {
      std::string row;
      for (int i = 0; i < rs.GetFieldCount(); ++i)
        row += (i ? "|" : "") + Text(rs.GetFieldValue(i));
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<std::string> Rows(const std::string& sql) {
    CDaoQueryDef q(&db_);
    q.Create(u"", B(sql));
    return Rows(q);
  }
  int32_t Execute(const std::string& sql) {
    CDaoQueryDef q(&db_);
    q.Create(u"", B(sql));
    q.Execute(dbFailOnError);
    return q.GetRecordsAffected();
  }
};

TEST_F(QueryDefTest, ExecuteRunsOneActionStatementAndCountsItsRecords) {
  const std::vector<std::string> schemaBefore = Sql(path_, "SELECT name FROM sqlite_schema");
  EXPECT_EQ(Execute("UPDATE [People] SET [Age] = [Age] + 1 WHERE Age >= 40"), 2);
  EXPECT_EQ(Execute("UPDATE People SET Age = 0 WHERE Name = 'Nobody'"), 0);
  EXPECT_EQ(Execute("DELETE FROM People WHERE Name = 'cy'"), 1);  // Text without regard to case
  // A temporary query leaves nothing in the file but its effect.
  EXPECT_EQ(Sql(path_, "SELECT name FROM sqlite_schema"), schemaBefore);
  EXPECT_EQ(Execute("CREATE TABLE Notes (ID COUNTER, Body TEXT(100) NOT NULL)"), 0);
  EXPECT_EQ(Execute("INSERT INTO Notes (Body) SELECT Name FROM People"), 2);
  EXPECT_EQ(Sql(path_, "SELECT ID, Body FROM Notes ORDER BY ID"),
            (std::vector<std::string>{"1|Ann", "2|Bob"}));  // COUNTER numbers itself
}

TEST_F(QueryDefTest, TablesDroppedOrRenamedBySqlTakeTheirCatalogWithThem) {
  Exec("ALTER TABLE People RENAME TO Persons");
  CDaoRecordset persons(&db_);
  persons.Open(dbOpenTable, u"Persons");
  persons.SetCurrentIndex(u"ByName");  // the index keeps its name under the new table name
  persons.AddNew();
  persons.SetFieldValue(u"Name", Bstr(u"Di"));
  persons.Update();
  persons.SetBookmark(persons.GetLastModifiedBookmark());
  EXPECT_EQ(Text(persons.GetFieldValue(u"ID")), "4");  // and so does the counter
  persons.Close();
  Exec("DROP TABLE Persons");
  // A new table of the old name is what SQL makes it: its Text field takes "".
  Exec("CREATE TABLE Persons (Name TEXT(20))");
  persons.Open(dbOpenTable, u"Persons");
  persons.AddNew();
  persons.SetFieldValue(u"Name", Bstr(u""));
  persons.Update();
  EXPECT_EQ(persons.GetIndexCount(), 0);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysFields WHERE TableName = 'Persons'"),
            std::vector<std::string>{"0"});
}

TEST_F(QueryDefTest, TextFieldsMadeBySqlIgnoreCaseInComparisonsIndexesAndSeeks) {
  Exec("CREATE TABLE Words (W TEXT(10), Exact TEXT(10) COLLATE BINARY)");
  Exec("CREATE INDEX ByW ON Words (W)");
  Exec("INSERT INTO Words VALUES ('bob', 'bob'), ('ALICE', 'ALICE'), ('Carl', 'Carl')");
  EXPECT_EQ(Rows("SELECT count(*) FROM Words WHERE W = 'BOB' AND Exact = 'bob'"),
            std::vector<std::string>{"1"});
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"Words");
  rs.SetCurrentIndex(u"ByW");
  EXPECT_EQ(Walk(rs, u"W"), (std::vector<std::string>{"ALICE", "bob", "Carl"}));
  const Variant carl = Variant::Str(u"CARL");
  EXPECT_TRUE(rs.Seek("=", &carl));
  EXPECT_EQ(Text(rs.GetFieldValue(u"Exact")), "Carl");
}

TEST_F(QueryDefTest, ExecuteRefusesWhatIsNotOneActionStatement) {
  CDaoQueryDef q(&db_);
  q.Create(u"", u"SELECT * FROM People");
  EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), dao_error::kRowReturningQuery);
  q.SetSQL(u"DELETE FROM People; DELETE FROM Other");
  EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), dao_error::kSyntaxError);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM People"), std::vector<std::string>{"3"});
  for (const char16_t* sql : {u"PRAGMA foreign_keys = OFF", u"BEGIN", u"ATTACH 'x.vdb' AS x"}) {
    q.SetSQL(sql);
    EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), dao_error::kInvalidOperation);
  }
  q.SetSQL(u"UPDATE Peeple SET Age = 1");
  EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), dao_error::kNoSuchTable);
  q.SetSQL(u"UPDTE People SET Age = 1");
  try {
    q.Execute(dbFailOnError);
    ADD_FAILURE() << "a syntax error was accepted";
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.Code(), dao_error::kSyntaxError);
    EXPECT_NE(std::string(e.what()).find("UPDTE"), std::string::npos) << e.what();
  }
}

TEST_F(QueryDefTest, AFailingStatementChangesNothing) {
  Exec("CREATE UNIQUE INDEX UniqueAge ON People (Age)");
  // The second row breaks the index after the first was changed.
  CDaoQueryDef q(&db_);
  q.Create(u"", u"UPDATE People SET Age = 50 WHERE Age < 50");
  EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), dao_error::kDuplicateValue);
  EXPECT_EQ(Sql(path_, "SELECT Age FROM People ORDER BY ID"),
            (std::vector<std::string>{"30", "40", "50"}));
  CDaoDatabase readOnly;
  readOnly.Open(B(path_), false, true);
  CDaoQueryDef r(&readOnly);
  r.Create(u"", u"DELETE FROM People");
  EXPECT_EQ(DaoCode([&] { r.Execute(dbFailOnError); }), dao_error::kReadOnly);
}

TEST_F(QueryDefTest, SavedQueriesWithParameters) {
  CDaoQueryDef q(&db_);
  q.Create(u"Older",
           u"PARAMETERS [Min Age] SHORT, Who TEXT (20); "
           u"SELECT Name FROM People WHERE Age >= [Min Age] AND Name <> [who] ORDER BY Age");
  q.Append();
  q.Close();
  CDaoQueryDef same(&db_);
  same.Create(u"OLDER", u"SELECT 1");
  EXPECT_EQ(DaoCode([&] { same.Append(); }), dao_error::kObjectExists);
  same.Close();
  same.Create(u"People", u"SELECT 1");
  EXPECT_EQ(DaoCode([&] { same.Append(); }), dao_error::kObjectExists);

  CDaoQueryDef saved(&db_);
  EXPECT_EQ(DaoCode([&] { saved.Open(u"Younger"); }), dao_error::kItemNotFound);
  saved.Open(u"older");
  EXPECT_EQ(saved.GetName().Utf8(), "Older");
  saved.SetParamValue(u"min age", Variant::Str(u"40"));
  EXPECT_EQ(DaoCode([&] { Rows(saved); }), dao_error::kTooFewParameters);
  saved.SetParamValue(u"Who", Variant::Str(u"BOB"));
  EXPECT_EQ(Rows(saved), std::vector<std::string>{"Cy"});
  EXPECT_EQ(DaoCode([&] { saved.SetParamValue(u"Max Age", Variant::I4(1)); }),
            dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { saved.SetParamValue(u"Min Age", Variant::Str(u"old")); }),
            dao_error::kConversionError);

  saved.SetSQL(
      u"PARAMETERS [Name Like] TEXT(20); SELECT Age FROM People WHERE Name LIKE [Name Like]");
  saved.Close();
  saved.Open(u"Older");  // the new statement was stored
  saved.SetParamValue(u"Name Like", Variant::Str(u"b%"));
  EXPECT_EQ(Rows(saved), std::vector<std::string>{"40"});
  EXPECT_EQ(Sql(path_, "SELECT Name FROM MSysQueries"), std::vector<std::string>{"Older"});
  saved.SetSQL(u"PARAMETERS Unused LONG; SELECT count(*) FROM People");
  saved.SetParamValue(u"Unused", Variant::I4(1));
  EXPECT_EQ(Rows(saved), std::vector<std::string>{"3"});
}

TEST_F(QueryDefTest, SnapshotsReadRowsTypedByTheirColumns) {
  Exec("CREATE TABLE Flags (On_ BIT, Day DATETIME)");
  Exec("INSERT INTO Flags VALUES (1, '2020-01-02 00:00:00')");
  CDaoQueryDef q(&db_);
  q.Create(u"", u"SELECT On_, Day, count(*) AS N, 1.5, 'x' || 1, 5000000000 FROM Flags");
  CDaoRecordset rs(&db_);
  rs.Open(&q, dbOpenSnapshot, 0);
  ASSERT_EQ(rs.GetFieldCount(), 6);
  const VARTYPE expected[] = {VT_BOOL, VT_DATE, VT_I4, VT_R8, VT_BSTR, VT_I8};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(rs.GetFieldValue(i).vt(), expected[i]) << i;
  CDaoFieldInfo info;
  rs.GetFieldInfo(2, info);
  EXPECT_EQ(info.m_strName.Utf8(), "N");
  EXPECT_EQ(info.m_nType, dbLong);
  rs.GetFieldInfo(u"Day", info);
  EXPECT_EQ(info.m_nType, dbDate);
  EXPECT_EQ(rs.GetIndexCount(), 0);
  EXPECT_EQ(DaoCode([&] { rs.Edit(); }), dao_error::kReadOnly);

  // A snapshot holds the rows of its opening.
  CDaoRecordset people(&db_);
  q.SetSQL(u"SELECT Name FROM People ORDER BY Name DESC");
  people.Open(&q, dbOpenSnapshot, 0);
  Sql(path_, "DELETE FROM People");
  EXPECT_EQ(people.GetRecordCount(), 3);
  EXPECT_EQ(Walk(people, u"Name"), (std::vector<std::string>{"Cy", "Bob", "Ann"}));
  EXPECT_EQ(DaoCode([&] { people.MoveNext(); }), dao_error::kNoCurrentRecord);
  EXPECT_TRUE(Rows("SELECT Name FROM People").empty());

  CDaoRecordset action(&db_);
  q.SetSQL(u"DELETE FROM Flags");
  EXPECT_EQ(DaoCode([&] { action.Open(&q, dbOpenSnapshot, 0); }), dao_error::kInvalidOperation);
  q.SetSQL(u"DELETE FROM Flags RETURNING *");
  EXPECT_EQ(DaoCode([&] { action.Open(&q, dbOpenSnapshot, 0); }), dao_error::kInvalidOperation);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM Flags"), std::vector<std::string>{"1"});
}

TEST_F(QueryDefTest, LinkedTablesAreReadAndWrittenThroughTheirLinkNames) {
  const std::string other = dir_.Path("other.vdb");
  test::CreateDatabase(other);
  Sql(other, "CREATE TABLE Stock (Item TEXT(20), Qty LONG); INSERT INTO Stock VALUES ('Nut', 5)");
  CDaoTableDef link(&db_);
  link.Create(u"Parts", 0, u"Stock", B(";DATABASE=" + other));
  link.Append();
  EXPECT_EQ(Execute("INSERT INTO Parts (Item, Qty) VALUES ('Bolt', 7)"), 1);
  EXPECT_EQ(Execute("UPDATE [Parts] SET Qty = Parts.Qty + 1 WHERE Item = 'Nut'"), 1);
  EXPECT_EQ(Rows("SELECT Parts.Item, Qty FROM Parts ORDER BY Item"),
            (std::vector<std::string>{"Bolt|7", "Nut|6"}));
  EXPECT_EQ(Rows("SELECT p.Item, Name FROM People, Parts AS p WHERE Qty = 7 AND Age = 30"),
            std::vector<std::string>{"Bolt|Ann"});
  EXPECT_EQ(Sql(other, "SELECT Item, Qty FROM Stock ORDER BY Item"),
            (std::vector<std::string>{"Bolt|7", "Nut|6"}));
  EXPECT_EQ(Execute("DELETE FROM Parts WHERE Item = 'Nut'"), 1);
  EXPECT_EQ(Sql(other, "SELECT count(*) FROM Stock"), std::vector<std::string>{"1"});

  // The link made again to another file reads that file.
  const std::string third = dir_.Path("third.vdb");
  test::CreateDatabase(third);
  Sql(third, "CREATE TABLE Stock (Item TEXT(20), Qty LONG); INSERT INTO Stock VALUES ('Pin', 1)");
  db_.DeleteTableDef(u"Parts");
  link.Close();
  link.Create(u"Parts", 0, u"Stock", B(";DATABASE=" + third));
  link.Append();
  EXPECT_EQ(Rows("SELECT Item FROM Parts"), std::vector<std::string>{"Pin"});

  // A link whose file has gone fails without making the file again.
  const std::string gone = dir_.Path("gone.vdb");
  test::CreateDatabase(gone);
  Sql(gone, "CREATE TABLE Stock (Item TEXT(20))");
  link.Close();
  link.Create(u"Gone", 0, u"Stock", B(";DATABASE=" + gone));
  link.Append();
  std::filesystem::remove(gone);
  EXPECT_EQ(DaoCode([&] { Rows("SELECT * FROM Gone"); }), dao_error::kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(gone));
}

}  // namespace
}  // namespace vorlix
