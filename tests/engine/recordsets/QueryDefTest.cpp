// Query definitions: temporary and saved queries, parameters, Execute and snapshots.
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class QueryDefTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakePeople();
    Sql(path_, "INSERT INTO People (Name, Age) VALUES ('Ann', 30), ('Bob', 40), ('Cy', 50)");
  }
};

// Whether a text matches without regard to case is TextCollationTest's; here the count.
TEST_F(QueryDefTest, ExecuteCountsTheRecordsOfItsOwnStatementOnly) {
  EXPECT_EQ(Exec("UPDATE [People] SET [Age] = [Age] + 1 WHERE Age >= 40"), 2);
  EXPECT_EQ(Exec("CREATE TABLE Notes (Body TEXT(100))"), 0);  // not the UPDATE's count again
}

// SQLite gives a column declared MEMO or NOTE numeric affinity, which stores "007" as 7.
TEST_F(QueryDefTest, MemoColumnsMadeBySqlKeepDigitsAsText) {
  Exec("CREATE TABLE Notes (Memo MEMO, Remark NOTE)");
  Exec("ALTER TABLE Notes ADD COLUMN Extra MEMO");
  Exec("INSERT INTO Notes VALUES ('007', '00', '007')");
  EXPECT_EQ(Sql(path_, "SELECT Memo, Remark, Extra FROM Notes"), Lines{"007|00|007"});
}

TEST_F(QueryDefTest, TablesDroppedOrRenamedBySqlTakeTheirCatalogWithThem) {
  Exec("ALTER TABLE main.People RENAME TO Persons");
  Exec("DROP INDEX [People.ByAge]");
  CDaoRecordset persons(&db_);
  persons.Open(dbOpenTable, u"Persons");
  persons.SetCurrentIndex(u"ByName");  // the index keeps its name under the new table name
  persons.AddNew();
  persons.SetFieldValue(u"Name", Bstr(u"Di"));
  persons.Update();
  persons.SetBookmark(persons.GetLastModifiedBookmark());
  EXPECT_EQ(Text(persons.GetFieldValue(u"ID")), "4");  // and so does the counter
  persons.Close();
  EXPECT_EQ(Sql(path_, "SELECT IndexName FROM MSysIndexes ORDER BY 1"),
            (Lines{"ByName", "PrimaryKey"}));
  Exec("DROP TABLE main.[Persons]");
  // A new table of the old name is what SQL makes it: its Text field takes "", and it numbers
  // from 1.
  Exec("CREATE TABLE Persons (ID COUNTER, Name TEXT(20))");
  persons.Open(dbOpenTable, u"Persons");
  persons.AddNew();
  persons.SetFieldValue(u"Name", Bstr(u""));
  persons.Update();
  EXPECT_EQ(persons.GetIndexCount(), 0);
  persons.Close();
  EXPECT_EQ(Sql(path_, "SELECT ID FROM Persons"), Lines{"1"});

  // So does a table another program dropped, once the file is opened again.
  MakePeople();
  db_.Close();
  Sql(path_, "INSERT INTO People (Name) VALUES ('Ann'); DROP TABLE People");
  db_.Open(B(path_));
  Exec("CREATE TABLE People (ID COUNTER, Name TEXT(20))");
  EXPECT_EQ(Sql(path_,
                "SELECT (SELECT count(*) FROM MSysFields) + (SELECT count(*) FROM "
                "MSysIndexes) + (SELECT LastValue FROM MSysCounters WHERE TableName = "
                "'People')"),
            Lines{"0"});
}

TEST_F(QueryDefTest, FieldsRenamedBySqlKeepTheirPropertiesAndTheirOneCounter) {
  CDaoTableDef def(&db_);
  def.Open(u"People");
  def.CreateField(Field(u"Town", dbText, 20));  // no zero-length strings
  def.CreateField(Field(u"Rank", dbLong, 0, 0, false, false, u" 42 "));
  def.Close();
  Exec("ALTER TABLE People RENAME COLUMN id TO Num");
  Exec("ALTER TABLE [People] RENAME COLUMN Town TO City");
  Exec("ALTER TABLE People RENAME Rank TO Level");
  EXPECT_EQ(Exec("INSERT INTO People (Name, City) VALUES ('Di', 'Oslo')"), 1);
  CDaoRecordset rs(&db_);
  rs.Open(dbOpenTable, u"People");
  rs.AddNew();
  rs.SetFieldValue(u"Name", Bstr(u"Ed"));
  rs.SetFieldValue(u"City", Bstr(u""));
  EXPECT_EQ(DaoCode([&] { rs.Update(); }), dao_error::kZeroLengthNotAllowed);
  rs.SetFieldValue(u"City", Bstr(u"Rome"));
  rs.Update();
  CDaoFieldInfo info;
  rs.GetFieldInfo(u"Level", info, AFX_DAO_ALL_INFO);
  EXPECT_EQ(info.m_strDefaultValue, Bstr(u" 42 "));
  rs.Close();
  EXPECT_EQ(Sql(path_, "SELECT Num, Name, City, Level FROM People WHERE Num > 3 ORDER BY Num"),
            (Lines{"4|Di|Oslo|42", "5|Ed|Rome|42"}));
  EXPECT_EQ(Sql(path_, "SELECT name FROM sqlite_schema WHERE type = 'trigger'"),
            Lines{"MSysCounter People.Num"});
}

TEST_F(QueryDefTest, ExecuteRefusesWhatIsNotOneActionStatementAndAFailureChangesNothing) {
  Exec("CREATE UNIQUE INDEX UniqueAge ON People (Age)");
  const std::pair<const char*, int32_t> refused[] = {
      {"SELECT * FROM People", dao_error::kRowReturningQuery},
      {"DELETE FROM People; DELETE FROM Other", dao_error::kSyntaxError},
      {"PRAGMA foreign_keys = OFF", dao_error::kInvalidOperation},
      {"BEGIN", dao_error::kInvalidOperation},
      {"ATTACH 'x.vdb' AS x", dao_error::kInvalidOperation},
      // The second row breaks the index after the first was changed.
      {"UPDATE People SET Age = 50 WHERE Age < 50", dao_error::kDuplicateValue}};
  for (const auto& [sql, code] : refused) {
    CDaoQueryDef q(&db_);
    q.Create(u"", B(sql));
    EXPECT_EQ(DaoCode([&] { q.Execute(dbFailOnError); }), code) << sql;
  }
  EXPECT_EQ(Sql(path_, "SELECT Age FROM People ORDER BY ID"), (Lines{"30", "40", "50"}));
  CDaoQueryDef q(&db_);
  q.Create(u"", u"UPDTE People SET Age = 1");
  try {
    q.Execute(dbFailOnError);
    ADD_FAILURE() << "a syntax error was accepted";
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.Code(), dao_error::kSyntaxError);
    EXPECT_NE(std::string(e.what()).find("UPDTE"), std::string::npos) << e.what();
  }
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
  saved.Open(u"older");
  EXPECT_EQ(saved.GetName().Utf8(), "Older");
  saved.SetParamValue(u"min age", Variant::Str(u"40"));
  EXPECT_EQ(DaoCode([&] { Rows(saved); }), dao_error::kTooFewParameters);
  saved.SetParamValue(u"Who", Variant::Str(u"BOB"));
  EXPECT_EQ(Rows(saved), Lines{"Cy"});
  EXPECT_EQ(DaoCode([&] { saved.SetParamValue(u"Min Age", Variant::Str(u"old")); }),
            dao_error::kConversionError);
  EXPECT_EQ(Sql(path_, "SELECT Name FROM MSysQueries"), Lines{"Older"});
  saved.SetSQL(u"PARAMETERS Unused LONG; SELECT count(*) FROM People");
  saved.SetParamValue(u"Unused", Variant::I4(1));
  EXPECT_EQ(Rows(saved), Lines{"3"});
}

// The types of a snapshot's columns are checked against a table-type recordset's
// (RecordsetTest) and through the connection (QueriesTest).
TEST_F(QueryDefTest, SnapshotsHoldTheRowsOfTheirOpeningAndActionStatementsOpenNone) {
  CDaoQueryDef q(&db_);
  CDaoRecordset action(&db_);
  q.Create(u"", u"DELETE FROM People");
  EXPECT_EQ(DaoCode([&] { action.Open(&q, dbOpenSnapshot, 0); }), dao_error::kInvalidOperation);
  q.SetSQL(u"DELETE FROM People RETURNING *");
  EXPECT_EQ(DaoCode([&] { action.Open(&q, dbOpenSnapshot, 0); }), dao_error::kInvalidOperation);

  // Opened after the refusals: they deleted nothing.
  CDaoRecordset people(&db_);
  q.SetSQL(u"SELECT Name FROM People ORDER BY Name DESC");
  people.Open(&q, dbOpenSnapshot, 0);
  EXPECT_EQ(DaoCode([&] { people.Edit(); }), dao_error::kReadOnly);
  Sql(path_, "DELETE FROM People");
  EXPECT_EQ(people.GetRecordCount(), 3);
  Lines names;
  for (; !people.IsEOF(); people.MoveNext())
    names.push_back(Text(people.GetFieldValue(u"Name")));
  EXPECT_EQ(names, (Lines{"Cy", "Bob", "Ann"}));
  EXPECT_EQ(DaoCode([&] { people.MoveNext(); }), dao_error::kNoCurrentRecord);
}

// A reader that can use only so many rows learns that there are more without the rest being
// read: its limit is told the fields first, and reading stops one row past it.
TEST_F(QueryDefTest, RowsStopOneRowPastWhatTheirReaderCanUse) {
  CDaoQueryDef q(&db_);
  q.Create(u"", u"SELECT Name, Age * 2 AS Twice FROM People ORDER BY Age");
  Lines told;
  const ResultSet two = q.Rows([&](const std::vector<RecordField>& fields) {
    for (const RecordField& f : fields)
      told.push_back(f.info.m_strName.Utf8() + " from " + f.info.m_strSourceTable.Utf8());
    return size_t{1};
  });
  EXPECT_EQ(told, (Lines{"Name from People", "Twice from "}));
  ASSERT_EQ(two.rows.size(), 2u);
  EXPECT_EQ(two.fields[1].info.m_nType, dbLong);  // a computed column's, from the values read
  EXPECT_EQ(q.Rows([](const std::vector<RecordField>&) { return size_t{3}; }).rows.size(), 3u);
}

// Every row of a result too big for one of the blocks its rows are held in reads back as it
// was stepped, texts included.
TEST_F(QueryDefTest, RowsOfManyBlocksReadBackAsTheyWereStepped) {
  CDaoQueryDef q(&db_);
  q.Create(u"",
           u"WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 69999)"
           u" SELECT k, 'row ' || k, k * 0.5 FROM n");
  const ResultSet all = q.Rows();
  ASSERT_EQ(all.rows.size(), 70000u);
  for (size_t r = 0; r < all.rows.size(); ++r) {
    ASSERT_EQ(all.rows.Cell(r, 0).integer, static_cast<int64_t>(r));
    ASSERT_EQ(all.rows.Cell(r, 1).bytes, "row " + std::to_string(r));
    ASSERT_EQ(all.rows.Cell(r, 2).real, r * 0.5);
  }
}

}  // namespace
}  // namespace vorlix::test
