#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Schema.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

// The code of the failure to add a field or an index; 0 when it is added.
int32_t TryField(CDaoTableDef& def, const CDaoFieldInfo& f) {
  return DaoCode([&] { def.CreateField(f); });
}
int32_t TryIndex(CDaoTableDef& def, const CDaoIndexInfo& i) {
  return DaoCode([&] { def.CreateIndex(i); });
}

// Everything reported of each field, one line per field: "position name type(size)
// attributes [required] [zero-length] [default=text]".
Lines FieldLines(const TableSchema& t) {
  Lines lines;
  for (const FieldSchema& f : t.fields) {
    const CDaoFieldInfo& i = f.info;
    const FieldType* type = FieldTypeByCode(i.m_nType);
    const int32_t a = i.m_lAttributes;
    lines.push_back(
        std::to_string(i.m_nOrdinalPosition) + " " + i.m_strName.Utf8() + " " +
        (type ? type->name : "?") + "(" + std::to_string(i.m_lSize) + ")" +
        (a & dbFixedField ? " fixed" : "") + (a & dbVariableField ? " variable" : "") +
        (a & dbAutoIncrField ? " auto" : "") + (a & dbUpdatableField ? " updatable" : "") +
        (i.m_bRequired ? " required" : "") + (i.m_bAllowZeroLength ? " zero-length" : "") +
        (i.m_strDefaultValue.empty() ? "" : " default=" + i.m_strDefaultValue.Utf8()));
  }
  return lines;
}

// Everything reported of each index: "name [primary] [unique] field+ field- ..." ('-' descending).
Lines IndexLines(const TableSchema& t) {
  Lines lines;
  for (const IndexSchema& x : t.indexes) {
    std::string line = x.info.m_strName.Utf8() + (x.info.m_bPrimary ? " primary" : "") +
                       (x.info.m_bUnique ? " unique" : "");
    for (const CDaoIndexFieldInfo& f : x.info.m_fieldInfos)
      line += " " + f.m_strName.Utf8() + (f.m_bDescending ? "-" : "+");
    lines.push_back(line);
  }
  return lines;
}

class TableDefTest : public EngineTest {
 protected:
  // Plain SQL on the engine's own connection: no rewriting of type words as a query definition
  // does, and failures come back with the engine's codes.
  void Plain(const std::string& sql) { Internal(db_).Db().Exec(sql); }

  TableSchema Schema(const std::string& table) {
    return ReadTableSchema(Internal(db_).Db(), Internal(db_).HasCatalog(), table);
  }

  Lines TableNames() {
    Lines names;
    for (int i = 0; i < db_.GetTableDefCount(); ++i) {
      CDaoTableDefInfo info;
      db_.GetTableDefInfo(i, info);
      names.push_back(info.m_strName.Utf8());
    }
    return names;
  }

  // A table of people: an auto-numbered primary key, a required name, a birth date.
  void MakeTable(const char16_t* name = u"People") {
    CDaoTableDef def(&db_);
    def.Create(name);
    def.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
    def.CreateField(Field(u"Name", dbText, 50, 0, true, true));
    def.CreateField(Field(u"Born", dbDate, 0, 0, false, true));  // zero-length means nothing here
    def.CreateIndex(Index(u"PrimaryKey", {{u"ID", false}}, true, true));
    def.Append();
  }
};

TEST_F(TableDefTest, TablesMadeByDefinitionOrByPlainSqlReportTheSameAndAreListedByName) {
  MakeTable();
  const TableSchema people = Schema("people");
  EXPECT_EQ(people.name, "People");
  EXPECT_EQ(FieldLines(people), (Lines{"0 ID Long(4) fixed auto",
                                       "1 Name Text(50) variable updatable required zero-length",
                                       "2 Born Date/Time(8) fixed updatable"}));
  EXPECT_EQ(IndexLines(people), Lines{"PrimaryKey primary unique ID+"});
  // Another program sees an ordinary table, and one it makes so reads the same.
  EXPECT_EQ(Sql(path_, "SELECT name, type FROM pragma_table_info('People')"),
            (Lines{"ID|COUNTER", "Name|TEXT(50)", "Born|DATETIME"}));
  Plain("CREATE TABLE People2 (ID COUNTER PRIMARY KEY, Name TEXT(50) NOT NULL, Born DATETIME)");
  EXPECT_EQ(FieldLines(Schema("People2")), FieldLines(people));
  EXPECT_EQ(IndexLines(Schema("People2")), IndexLines(people));

  // Tables are listed in name order without SQLite's own, and forgotten when deleted.
  Plain("CREATE TABLE b (x INTEGER PRIMARY KEY AUTOINCREMENT); CREATE TABLE C (y)");
  MakeTable(u"a");
  EXPECT_EQ(TableNames(), (Lines{"a", "b", "C", "MSysCounters", "MSysFields", "MSysIndexes",
                                 "MSysInfo", "MSysLinks", "People", "People2"}));
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM sqlite_schema WHERE name = 'sqlite_sequence'"),
            Lines{"1"});
  db_.DeleteTableDef(u"A");
  EXPECT_EQ(TableNames().front(), "b");
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysFields WHERE TableName = 'a'"), Lines{"0"});
}

TEST_F(TableDefTest, DefinitionMistakesAreRefusedWithTheirCodes) {
  MakeTable();
  CDaoTableDef def(&db_);
  EXPECT_EQ(DaoCode([&] { def.Create(u"a.b"); }), dao_error::kInvalidName);
  EXPECT_EQ(DaoCode([&] { def.Create(u"MSysMine"); }), dao_error::kInvalidName);
  EXPECT_EQ(DaoCode([&] { def.Create(u"T", 1); }), dao_error::kInvalidArgument);

  def.Create(u"PEOPLE");
  def.CreateField(Field(u"A", dbLong));
  EXPECT_EQ(TryField(def, Field(u"B", dbText, 256)), dao_error::kInvalidArgument);
  EXPECT_EQ(TryField(def, Field(u"C", dbText, 0, dbAutoIncrField)), dao_error::kInvalidArgument);
  EXPECT_EQ(TryField(def, Field(u"D", 99)), dao_error::kInvalidArgument);
  EXPECT_EQ(TryField(def, Field(u"E", dbLong, 0, 0, false, false, u"abc")),
            dao_error::kConversionError);
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kTableExists);

  CDaoTableDef empty(&db_);
  empty.Create(u"Empty");
  EXPECT_EQ(DaoCode([&] { empty.Append(); }), dao_error::kNoFields);
}

TEST_F(TableDefTest, IndexesOfExistingTablesArePerTableAndReportedFaithfully) {
  for (const char16_t* table : {u"One", u"Two"}) {
    CDaoTableDef def(&db_);
    def.Create(table);
    def.CreateField(Field(u"ID", dbLong));
    def.CreateField(Field(u"Code", dbText, 10));
    def.CreateIndex(Index(u"ID", {{u"ID", false}}, false, true));
    def.CreateIndex(Index(u"Code", {{u"Code", true}, {u"ID", false}}));
    def.Append();
  }
  Plain("CREATE INDEX ByCode ON Two (Code DESC)");
  EXPECT_EQ(IndexLines(Schema("Two")), (Lines{"ByCode Code-", "Code Code- ID+", "ID unique ID+"}));

  CDaoTableDef def(&db_);
  def.Open(u"Two");
  EXPECT_EQ(TryIndex(def, Index(u"bycode", {{u"ID", false}})), dao_error::kIndexExists);

  // A primary key added to a table made by SQL is reported and enforced as one.
  Plain("CREATE TABLE T (A LONG, B LONG); INSERT INTO T VALUES (1, 2)");
  CDaoTableDef t(&db_);
  t.Open(u"T");
  t.CreateIndex(Index(u"Key", {{u"A", false}, {u"B", false}}, true));
  EXPECT_EQ(IndexLines(Schema("T")), Lines{"Key primary unique A+ B+"});
  EXPECT_EQ(DaoCode([&] { Plain("INSERT INTO T VALUES (1, 2)"); }), dao_error::kDuplicateValue);
}

// Defaults are stored as values of the field, in the rows already there too, and reported as
// written.
TEST_F(TableDefTest, ExistingTableTakesFieldsWithDefaultsAndIndexesAtOnce) {
  Plain(
      "CREATE TABLE Items (Code TEXT(10) PRIMARY KEY, Qty LONG);"
      "INSERT INTO Items VALUES ('a', 1), ('b', 1)");
  CDaoTableDef def(&db_);
  def.Open(u"items");
  EXPECT_EQ(def.GetName(), Bstr(u"Items"));
  def.CreateField(Field(u"N", dbLong, 0, 0, false, false, u" 42 "));
  def.CreateField(Field(u"Flag", dbBoolean, 0, 0, false, false, u"True"));
  def.CreateField(Field(u"Say", dbMemo, 0, 0, false, false, u"it's"));
  EXPECT_EQ(Sql(path_, "SELECT Code, N, Flag, Say FROM Items ORDER BY Code"),
            (Lines{"a|42|1|it's", "b|42|1|it's"}));
  EXPECT_EQ(TryIndex(def, Index(u"Qty", {{u"Qty", false}}, false, true)),
            dao_error::kDuplicateValue);
  def.CreateIndex(Index(u"Qty", {{u"Qty", false}}));
  const TableSchema t = Schema("Items");
  EXPECT_EQ(IndexLines(t), (Lines{"PrimaryKey primary unique Code+", "Qty Qty+"}));
  EXPECT_EQ(FieldLines(t),
            (Lines{"0 Code Text(10) variable updatable zero-length",
                   "1 Qty Long(4) fixed updatable", "2 N Long(4) fixed updatable default= 42 ",
                   "3 Flag Boolean(1) fixed updatable default=True",
                   "4 Say Memo(0) variable updatable default=it's"}));

  // An index that plain SQL dropped can be made again under its name.
  Plain("CREATE TABLE \"a.b\" (\"x.y\" LONG)");
  CDaoTableDef dotted(&db_);
  dotted.Open(u"a.b");
  dotted.CreateIndex(Index(u"K", {{u"x.y", false}}));
  Sql(path_, "DROP INDEX \"a.b.K\"");
  dotted.CreateIndex(Index(u"K", {{u"x.y", false}}, false, true));
  EXPECT_EQ(IndexLines(Schema("a.b")), Lines{"K unique x.y+"});
}

TEST_F(TableDefTest, RequiredFieldAddedToATableWithRowsKeepsRowsIndexesAndRelations) {
  Plain(
      "CREATE TABLE P (ID INTEGER PRIMARY KEY);"
      "CREATE TABLE C (PID LONG CONSTRAINT Owner REFERENCES P (ID), Label TEXT(20));"
      "CREATE INDEX CLabel ON C (Label);"
      "INSERT INTO P VALUES (1);"
      "INSERT INTO C (rowid, PID, Label) VALUES (7, 1, 'x'), (9, 1, 'y')");
  CDaoTableDef def(&db_);
  def.Open(u"C");
  def.CreateField(Field(u"Size", dbInteger, 0, 0, true));
  def.CreateField(Field(u"Word", dbText, 5, 0, true, false));
  EXPECT_EQ(Sql(path_, "SELECT rowid, PID, Label, Size, Word FROM C ORDER BY rowid"),
            (Lines{"7|1|x|0|", "9|1|y|0|"}));
  EXPECT_EQ(IndexLines(Schema("C")), Lines{"CLabel Label+"});
  ASSERT_EQ(db_.GetRelationCount(), 1);
  EXPECT_EQ(DaoCode([&] { Plain("INSERT INTO C (PID, Size, Word) VALUES (5, 1, 'a')"); }),
            dao_error::kRelatedRecordRequired);
}

TEST_F(TableDefTest, AutoIncrementNumbersIncreaseAndAreNeverReusedEvenForSqlInserts) {
  MakeTable();
  Plain("INSERT INTO People (Name) VALUES ('a'), ('b'), ('c')");
  Plain("DELETE FROM People WHERE ID = 3; INSERT INTO People (Name) VALUES ('d')");
  Plain("INSERT INTO People (ID, Name) VALUES (10, 'e'); INSERT INTO People (Name) VALUES ('f')");
  EXPECT_EQ(Sql(path_, "SELECT ID, Name FROM People ORDER BY ID"),
            (Lines{"1|a", "2|b", "4|d", "10|e", "11|f"}));

  // An auto-increment field added later numbers the rows already there, then goes on.
  Plain("CREATE TABLE Old (Label TEXT(5)); INSERT INTO Old VALUES ('x'), ('y')");
  CDaoTableDef def(&db_);
  def.Open(u"Old");
  def.CreateField(Field(u"Num", dbLong, 0, dbAutoIncrField));
  Plain("INSERT INTO Old (Label) VALUES ('z')");
  EXPECT_EQ(Sql(path_, "SELECT Label, Num FROM Old ORDER BY rowid"), (Lines{"x|1", "y|2", "z|3"}));

  // A table made by SQL numbers its counter once the engine has opened it.
  db_.Close();
  Sql(path_, "CREATE TABLE T (ID COUNTER, V TEXT); INSERT INTO T VALUES (5, 'a')");
  db_.Open(B(path_));
  Plain("INSERT INTO T (V) VALUES ('b')");
  EXPECT_EQ(Sql(path_, "SELECT ID, V FROM T ORDER BY ID"), (Lines{"5|a", "6|b"}));
}

TEST_F(TableDefTest, SetNameRenamesWithEverythingTheTableHas) {
  MakeTable();
  const TableSchema before = Schema("People");
  Plain("INSERT INTO People (Name) VALUES ('a')");
  CDaoTableDef def(&db_);
  def.Open(u"People");
  def.SetName(u"Persons");
  def.SetName(u"PERSONS");  // a change of letter case alone
  Plain("INSERT INTO PERSONS (Name) VALUES ('b')");
  EXPECT_EQ(Sql(path_, "SELECT ID, Name FROM PERSONS ORDER BY ID"), (Lines{"1|a", "2|b"}));
  const TableSchema after = Schema("Persons");
  EXPECT_EQ(after.name, "PERSONS");
  EXPECT_EQ(FieldLines(after), FieldLines(before));
  EXPECT_EQ(IndexLines(after), IndexLines(before));
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysCounters WHERE TableName = 'People'"), Lines{"0"});
}

}  // namespace
}  // namespace vorlix::test
