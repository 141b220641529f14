#include "EngineTestSupport.h"
#include "engine/Schema.h"
#include "engine/TableDef.h"

namespace vorlix {
namespace {

using test::DaoCode;
using test::Sql;

CDaoFieldInfo Field(const char16_t* name, int16_t type, int32_t size = 0, int32_t attributes = 0,
                    bool required = false, bool zeroLength = false, const char16_t* dflt = u"") {
  CDaoFieldInfo f;
  f.m_strName = name;
  f.m_nType = type;
  f.m_lSize = size;
  f.m_lAttributes = attributes;
  f.m_bRequired = required;
  f.m_bAllowZeroLength = zeroLength;
  f.m_strDefaultValue = dflt;
  return f;
}

CDaoIndexInfo Index(const char16_t* name, std::vector<CDaoIndexFieldInfo> fields,
                    bool primary = false, bool unique = false) {
  CDaoIndexInfo i;
  i.m_strName = name;
  i.m_fieldInfos = std::move(fields);
  i.m_bPrimary = primary;
  i.m_bUnique = unique;
  return i;
}

class TableDefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CreateDatabase(path_);
    db_.Open(test::B(path_));
  }

  TableSchema Schema(const std::string& table) {
    return ReadTableSchema(db_.Db(), db_.HasCatalog(), table);
  }

  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    for (int i = 0; i < db_.GetTableDefCount(); ++i) {
      CDaoTableDefInfo info;
      db_.GetTableDefInfo(i, info);
      names.push_back(info.m_strName.Utf8());
    }
    return names;
  }

  // The People table: an auto-numbered primary key, a required name, a birth date.
  void MakePeople(const char16_t* name = u"People") {
    CDaoTableDef def(&db_);
    def.Create(name);
    def.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
    def.CreateField(Field(u"Name", dbText, 50, 0, true, true));
    def.CreateField(Field(u"Born", dbDate, 0, 0, false, true));  // zero-length means nothing here
    def.CreateIndex(Index(u"PrimaryKey", {{u"ID", false}}, true, true));
    def.Append();
  }

  test::TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  CDaoDatabase db_;
};

void ExpectSameFields(const TableSchema& a, const TableSchema& b) {
  ASSERT_EQ(a.fields.size(), b.fields.size());
  for (size_t i = 0; i < a.fields.size(); ++i) {
    const CDaoFieldInfo &x = a.fields[i].info, &y = b.fields[i].info;
    SCOPED_TRACE(x.m_strName.Utf8());
    EXPECT_EQ(x.m_strName, y.m_strName);
    EXPECT_EQ(x.m_nType, y.m_nType);
    EXPECT_EQ(x.m_lSize, y.m_lSize);
    EXPECT_EQ(x.m_lAttributes, y.m_lAttributes);
    EXPECT_EQ(x.m_nOrdinalPosition, y.m_nOrdinalPosition);
    EXPECT_EQ(x.m_bRequired, y.m_bRequired);
    EXPECT_EQ(x.m_bAllowZeroLength, y.m_bAllowZeroLength);
    EXPECT_EQ(x.m_strDefaultValue, y.m_strDefaultValue);
  }
  ASSERT_EQ(a.indexes.size(), b.indexes.size());
  for (size_t i = 0; i < a.indexes.size(); ++i) {
    const CDaoIndexInfo &x = a.indexes[i].info, &y = b.indexes[i].info;
    EXPECT_EQ(x.m_strName, y.m_strName);
    EXPECT_EQ(x.m_bPrimary, y.m_bPrimary);
    EXPECT_EQ(x.m_bUnique, y.m_bUnique);
    ASSERT_EQ(x.m_fieldInfos.size(), y.m_fieldInfos.size());
    for (size_t k = 0; k < x.m_fieldInfos.size(); ++k) {
      EXPECT_EQ(x.m_fieldInfos[k].m_strName, y.m_fieldInfos[k].m_strName);
      EXPECT_EQ(x.m_fieldInfos[k].m_bDescending, y.m_fieldInfos[k].m_bDescending);
    }
  }
}

TEST_F(TableDefTest, AppendedTableReportsWhatWasDefinedAndIsAPlainTable) {
  MakePeople();
  const TableSchema t = Schema("people");
  EXPECT_EQ(t.name, "People");
  ASSERT_EQ(t.fields.size(), 3u);
  const CDaoFieldInfo &id = t.fields[0].info, &name = t.fields[1].info, &born = t.fields[2].info;
  EXPECT_EQ(id.m_nType, dbLong);
  EXPECT_EQ(id.m_lSize, 4);
  EXPECT_EQ(id.m_lAttributes, dbFixedField | dbAutoIncrField);
  EXPECT_EQ(name.m_nType, dbText);
  EXPECT_EQ(name.m_lSize, 50);
  EXPECT_EQ(name.m_lAttributes, dbVariableField | dbUpdatableField);
  EXPECT_TRUE(name.m_bRequired);
  EXPECT_TRUE(name.m_bAllowZeroLength);
  EXPECT_EQ(name.m_nOrdinalPosition, 1);
  EXPECT_EQ(born.m_nType, dbDate);
  EXPECT_EQ(born.m_lSize, 8);
  EXPECT_FALSE(born.m_bRequired);
  EXPECT_FALSE(born.m_bAllowZeroLength);
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.indexes[0].info.m_strName, Bstr(u"PrimaryKey"));
  EXPECT_TRUE(t.indexes[0].info.m_bPrimary);
  EXPECT_TRUE(t.indexes[0].info.m_bUnique);

  // Another program sees an ordinary table with the same columns.
  EXPECT_EQ(Sql(path_, "SELECT name, type FROM pragma_table_info('People')"),
            (std::vector<std::string>{"ID|COUNTER", "Name|TEXT(50)", "Born|DATETIME"}));
}

TEST_F(TableDefTest, TableMadeBySqlReportsTheSameAsOneMadeByDefinition) {
  MakePeople();
  db_.Db().Exec(
      "CREATE TABLE People2 (ID COUNTER PRIMARY KEY, Name TEXT(50) NOT NULL, Born DATETIME)");
  ExpectSameFields(Schema("People"), Schema("People2"));
}

TEST_F(TableDefTest, EveryTypeSurvivesTheRoundTripThroughItsDeclaredType) {
  const int16_t types[] = {dbBoolean,    dbByte,   dbInteger, dbLong,   dbCurrency,
                           dbSingle,     dbDouble, dbDate,    dbBinary, dbText,
                           dbLongBinary, dbMemo,   dbGUID};
  CDaoTableDef def(&db_);
  def.Create(u"AllTypes");
  for (int16_t type : types) {
    std::u16string name = u"F" + std::u16string(1, char16_t(u'a' + type));
    def.CreateField(Field(name.c_str(), type, type == dbText ? 20 : type == dbBinary ? 16 : 0));
  }
  def.Append();
  const TableSchema t = Schema("AllTypes");
  ASSERT_EQ(t.fields.size(), std::size(types));
  for (size_t i = 0; i < t.fields.size(); ++i) {
    EXPECT_EQ(t.fields[i].info.m_nType, types[i]);
    EXPECT_EQ(t.fields[i].info.m_lSize, types[i] == dbText     ? 20
                                        : types[i] == dbBinary ? 16
                                                               : FieldTypeByCode(types[i])->size);
  }
}

TEST_F(TableDefTest, DefinitionMistakesAreRefusedWithTheirCodes) {
  MakePeople();
  CDaoTableDef def(&db_);
  EXPECT_EQ(DaoCode([&] { def.Create(u"a.b"); }), dao_error::kInvalidName);
  EXPECT_EQ(DaoCode([&] { def.Create(u"MSysMine"); }), dao_error::kInvalidName);
  EXPECT_EQ(DaoCode([&] { def.Create(u""); }), dao_error::kInvalidName);
  EXPECT_EQ(DaoCode([&] { def.Create(u"T", 1); }), dao_error::kInvalidArgument);

  def.Create(u"PEOPLE");
  def.CreateField(Field(u"A", dbLong));
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"a", dbText)); }), dao_error::kDuplicateField);
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"B", dbText, 256)); }),
            dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"C", dbText, 0, dbAutoIncrField)); }),
            dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"D", 99)); }), dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"E", dbLong, 0, 0, false, false, u"abc")); }),
            dao_error::kConversionError);
  def.CreateIndex(Index(u"K", {{u"A", false}}, true));
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"k", {{u"A", false}}));
            }),
            dao_error::kIndexExists);
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"K2", {{u"A", false}}, true));
            }),
            dao_error::kPrimaryKeyExists);
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"K3", {{u"Nope", false}}));
            }),
            dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kTableExists);

  CDaoTableDef empty(&db_);
  empty.Create(u"Empty");
  EXPECT_EQ(DaoCode([&] { empty.Append(); }), dao_error::kNoFields);

  CDaoTableDef missing(&db_);
  EXPECT_EQ(DaoCode([&] { missing.Open(u"Nobody"); }), dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { db_.DeleteTableDef(u"Nobody"); }), dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { db_.DeleteTableDef(u"MSysFields"); }), dao_error::kReadOnly);
}

TEST_F(TableDefTest, TableDefinitionsAreListedInNameOrderWithoutSqliteTables) {
  db_.Db().Exec("CREATE TABLE b (x INTEGER PRIMARY KEY AUTOINCREMENT); CREATE TABLE C (y)");
  MakePeople(u"a");
  std::vector<std::string> names = TableNames();
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "C", "MSysCounters", "MSysFields",
                                             "MSysIndexes", "MSysInfo", "MSysLinks"}));
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM sqlite_schema WHERE name = 'sqlite_sequence'"),
            std::vector<std::string>{"1"});
  db_.DeleteTableDef(u"A");
  EXPECT_EQ(TableNames().front(), "b");
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysFields WHERE TableName = 'a'"),
            std::vector<std::string>{"0"});
}

TEST_F(TableDefTest, IndexNamesArePerTableAndReportedFaithfully) {
  for (const char16_t* table : {u"One", u"Two"}) {
    CDaoTableDef def(&db_);
    def.Create(table);
    def.CreateField(Field(u"ID", dbLong));
    def.CreateField(Field(u"Code", dbText, 10));
    def.CreateIndex(Index(u"ID", {{u"ID", false}}, false, true));
    def.CreateIndex(Index(u"Code", {{u"Code", true}, {u"ID", false}}));
    def.Append();
  }
  db_.Db().Exec("CREATE INDEX ByCode ON Two (Code DESC)");
  const TableSchema two = Schema("Two");
  ASSERT_EQ(two.indexes.size(), 3u);
  EXPECT_EQ(two.indexes[0].info.m_strName, Bstr(u"ByCode"));
  EXPECT_EQ(two.indexes[1].info.m_strName, Bstr(u"Code"));
  EXPECT_EQ(two.indexes[2].info.m_strName, Bstr(u"ID"));
  EXPECT_TRUE(two.indexes[2].info.m_bUnique);
  EXPECT_FALSE(two.indexes[2].info.m_bPrimary);
  EXPECT_FALSE(two.indexes[1].info.m_bUnique);
  ASSERT_EQ(two.indexes[1].info.m_fieldInfos.size(), 2u);
  EXPECT_TRUE(two.indexes[1].info.m_fieldInfos[0].m_bDescending);
  EXPECT_FALSE(two.indexes[1].info.m_fieldInfos[1].m_bDescending);
  EXPECT_TRUE(two.indexes[0].info.m_fieldInfos[0].m_bDescending);
  EXPECT_NE(Schema("One").indexes[1].storedName, two.indexes[2].storedName);

  CDaoTableDef def(&db_);
  def.Open(u"Two");
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"bycode", {{u"ID", false}}));
            }),
            dao_error::kIndexExists);
}

TEST_F(TableDefTest, ExistingTableTakesFieldsAndIndexesAtOnce) {
  db_.Db().Exec(
      "CREATE TABLE Items (Code TEXT(10) PRIMARY KEY, Qty LONG);"
      "INSERT INTO Items VALUES ('a', 1), ('b', 1)");
  CDaoTableDef def(&db_);
  def.Open(u"items");
  EXPECT_EQ(def.GetName(), Bstr(u"Items"));
  def.CreateField(Field(u"Note", dbMemo, 0, 0, false, false, u"none"));
  EXPECT_EQ(Sql(path_, "SELECT Code, Note FROM Items ORDER BY Code"),
            (std::vector<std::string>{"a|none", "b|none"}));
  EXPECT_EQ(DaoCode([&] { def.CreateField(Field(u"QTY", dbLong)); }), dao_error::kDuplicateField);
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"Pk2", {{u"Qty", false}}, true));
            }),
            dao_error::kPrimaryKeyExists);
  EXPECT_EQ(DaoCode([&] {
              def.CreateIndex(Index(u"Qty", {{u"Qty", false}}, false, true));
            }),
            dao_error::kDuplicateValue);
  def.CreateIndex(Index(u"Qty", {{u"Qty", false}}));
  const TableSchema t = Schema("Items");
  ASSERT_EQ(t.indexes.size(), 2u);
  EXPECT_EQ(t.indexes[0].info.m_strName, Bstr(u"PrimaryKey"));
  EXPECT_TRUE(t.indexes[0].info.m_bPrimary);
  EXPECT_EQ(t.indexes[1].info.m_strName, Bstr(u"Qty"));
  EXPECT_EQ(t.fields[2].info.m_strDefaultValue, Bstr(u"none"));
  EXPECT_EQ(t.fields[2].info.m_nType, dbMemo);
}

TEST_F(TableDefTest, IndexDroppedByPlainSqlCanBeMadeAgain) {
  db_.Db().Exec("CREATE TABLE \"a.b\" (\"x.y\" LONG)");
  CDaoTableDef def(&db_);
  def.Open(u"a.b");
  def.CreateIndex(Index(u"K", {{u"x.y", false}}));
  Sql(path_, "DROP INDEX \"a.b.K\"");
  def.CreateIndex(Index(u"K", {{u"x.y", false}}, false, true));
  const TableSchema t = Schema("a.b");
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.indexes[0].info.m_strName, Bstr(u"K"));
  EXPECT_TRUE(t.indexes[0].info.m_bUnique);
}

TEST_F(TableDefTest, PrimaryKeyAddedLaterIsReportedAsPrimary) {
  db_.Db().Exec("CREATE TABLE T (A LONG, B LONG); INSERT INTO T VALUES (1, 2)");
  CDaoTableDef def(&db_);
  def.Open(u"T");
  def.CreateIndex(Index(u"Key", {{u"A", false}, {u"B", false}}, true));
  const TableSchema t = Schema("T");
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_TRUE(t.indexes[0].info.m_bPrimary);
  EXPECT_TRUE(t.indexes[0].info.m_bUnique);
  EXPECT_EQ(DaoCode([&] { db_.Db().Exec("INSERT INTO T VALUES (1, 2)"); }),
            dao_error::kDuplicateValue);
}

TEST_F(TableDefTest, RequiredFieldAddedToATableWithRowsKeepsRowsIndexesAndRelations) {
  db_.Db().Exec(
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
            (std::vector<std::string>{"7|1|x|0|", "9|1|y|0|"}));
  const TableSchema c = Schema("C");
  EXPECT_TRUE(c.fields[2].info.m_bRequired);
  EXPECT_FALSE(c.fields[3].info.m_bAllowZeroLength);
  ASSERT_EQ(c.indexes.size(), 1u);
  EXPECT_EQ(c.indexes[0].info.m_strName, Bstr(u"CLabel"));
  ASSERT_EQ(db_.GetRelationCount(), 1);
  EXPECT_EQ(DaoCode([&] { db_.Db().Exec("INSERT INTO C (PID, Size, Word) VALUES (5, 1, 'a')"); }),
            dao_error::kRelatedRecordRequired);
  EXPECT_EQ(DaoCode([&] { db_.Db().Exec("INSERT INTO C (PID, Word) VALUES (1, 'a')"); }),
            dao_error::kRequiredIsNull);
}

TEST_F(TableDefTest, AutoIncrementNumbersIncreaseAndAreNeverReusedEvenForSqlInserts) {
  MakePeople();
  SqliteDb& db = db_.Db();
  db.Exec("INSERT INTO People (Name) VALUES ('a'), ('b'), ('c')");
  EXPECT_EQ(Sql(path_, "SELECT ID FROM People ORDER BY ID"),
            (std::vector<std::string>{"1", "2", "3"}));
  db.Exec("DELETE FROM People WHERE ID = 3; INSERT INTO People (Name) VALUES ('d')");
  db.Exec("INSERT INTO People (ID, Name) VALUES (10, 'e'); INSERT INTO People (Name) VALUES ('f')");
  EXPECT_EQ(Sql(path_, "SELECT ID, Name FROM People ORDER BY ID"),
            (std::vector<std::string>{"1|a", "2|b", "4|d", "10|e", "11|f"}));
  // Another program inserting through plain SQL gets the next number too.
  Sql(path_, "INSERT INTO People (Name) VALUES ('g')");
  EXPECT_EQ(Sql(path_, "SELECT max(ID) FROM People"), std::vector<std::string>{"12"});

  // An auto-increment field added later numbers the rows already there, then goes on.
  db.Exec("CREATE TABLE Old (Label TEXT(5)); INSERT INTO Old VALUES ('x'), ('y')");
  CDaoTableDef def(&db_);
  def.Open(u"Old");
  def.CreateField(Field(u"Num", dbLong, 0, dbAutoIncrField));
  db.Exec("INSERT INTO Old (Label) VALUES ('z')");
  EXPECT_EQ(Sql(path_, "SELECT Label, Num FROM Old ORDER BY rowid"),
            (std::vector<std::string>{"x|1", "y|2", "z|3"}));
}

TEST_F(TableDefTest, TableMadeBySqlNumbersItsCounterOnceTheEngineHasOpenedIt) {
  db_.Close();
  Sql(path_, "CREATE TABLE T (ID COUNTER, V TEXT); INSERT INTO T VALUES (5, 'a')");
  db_.Open(test::B(path_));
  db_.Db().Exec("INSERT INTO T (V) VALUES ('b')");
  EXPECT_EQ(Sql(path_, "SELECT ID, V FROM T ORDER BY ID"),
            (std::vector<std::string>{"5|a", "6|b"}));
}

TEST_F(TableDefTest, SetNameRenamesWithEverythingTheTableHas) {
  MakePeople();
  db_.Db().Exec("INSERT INTO People (Name) VALUES ('a')");
  CDaoTableDef def(&db_);
  def.Open(u"People");
  MakePeople(u"Other");
  EXPECT_EQ(DaoCode([&] { def.SetName(u"OTHER"); }), dao_error::kObjectExists);
  def.SetName(u"Persons");
  def.SetName(u"PERSONS");  // a change of letter case alone
  EXPECT_EQ(def.GetName(), Bstr(u"PERSONS"));
  db_.Db().Exec("INSERT INTO PERSONS (Name) VALUES ('b')");
  EXPECT_EQ(Sql(path_, "SELECT ID, Name FROM PERSONS ORDER BY ID"),
            (std::vector<std::string>{"1|a", "2|b"}));
  const TableSchema t = Schema("Persons");
  EXPECT_EQ(t.name, "PERSONS");
  EXPECT_TRUE(t.fields[1].info.m_bAllowZeroLength);
  ASSERT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.indexes[0].info.m_strName, Bstr(u"PrimaryKey"));
  EXPECT_TRUE(t.indexes[0].info.m_bPrimary);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysCounters WHERE TableName = 'People'"),
            std::vector<std::string>{"0"});
}

TEST_F(TableDefTest, DefaultsAreStoredAsValuesOfTheFieldAndReportedAsWritten) {
  CDaoTableDef def(&db_);
  def.Create(u"D");
  def.CreateField(Field(u"N", dbLong, 0, 0, false, false, u" 42 "));
  def.CreateField(Field(u"Flag", dbBoolean, 0, 0, false, false, u"True"));
  def.CreateField(Field(u"Say", dbText, 20, 0, false, false, u"it's"));
  def.Append();
  db_.Db().Exec("INSERT INTO D DEFAULT VALUES");
  EXPECT_EQ(Sql(path_, "SELECT N, Flag, Say FROM D"), std::vector<std::string>{"42|1|it's"});
  const TableSchema t = Schema("D");
  EXPECT_EQ(t.fields[0].info.m_strDefaultValue, Bstr(u" 42 "));
  EXPECT_EQ(t.fields[1].info.m_strDefaultValue, Bstr(u"True"));
  EXPECT_EQ(t.fields[2].info.m_strDefaultValue, Bstr(u"it's"));
}

}  // namespace
}  // namespace vorlix
