// Linked tables: listed with the table definitions, checked when made, read and written by
// SQL through the link.
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class LinkTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    for (const std::string& file : {source_, other_}) {
      CreateDatabase(file);
      Sql(file,
          "CREATE TABLE Stock (Item TEXT(10), Qty LONG); INSERT INTO Stock VALUES ('Nut', 5)");
    }
  }

  // Makes the link and checks it; the code of the failure, or 0.
  int32_t Link(const char16_t* name, const std::string& connect, const char16_t* source) {
    CDaoTableDef def(&db_);
    return DaoCode([&] {
      def.Create(name, 0, source, B(connect));
      def.Append();
      def.RefreshLink();
    });
  }

  // A semicolon in the path: the link's path is all that follows DATABASE=.
  std::string source_ = dir_.Path("other;PWD=x.vdb");
  std::string other_ = dir_.Path("third.vdb");
};

TEST_F(LinkTest, LinkIsListedWithItsConnectStringAndSourceTable) {
  ASSERT_EQ(Link(u"Remote", ";DATABASE=" + source_, u"stock"), 0);
  CDaoTableDefInfo info;
  db_.GetTableDefInfo(5, info, AFX_DAO_ALL_INFO);  // after the five MSys tables
  EXPECT_EQ(info.m_lAttributes, dbAttachedTable);
  EXPECT_EQ(info.m_strConnect.Utf8(), ";DATABASE=" + source_);
  EXPECT_EQ(info.m_strSourceTableName, Bstr(u"Stock"));

  CDaoTableDef def(&db_);
  def.Open(u"remote");
  def.SetName(u"Far");
  def.Close();
  def.Open(u"Far");
  EXPECT_EQ(DaoCode([&] { def.CreateField(CDaoFieldInfo()); }), dao_error::kInvalidOperation);
  def.Close();
  db_.DeleteTableDef(u"Far");
  EXPECT_EQ(DaoCode([&] { def.Open(u"Far"); }), dao_error::kNoSuchTable);
}

TEST_F(LinkTest, LinksToMissingFilesOrTablesAreRefused) {
  EXPECT_EQ(Link(u"L", ";DATABASE=" + dir_.Path("gone.vdb"), u"Stock"), dao_error::kFileNotFound);
  EXPECT_EQ(Link(u"L", "ODBC;DSN=x", u"Stock"), dao_error::kInvalidArgument);
  EXPECT_EQ(Link(u"L", ";DATABASE=", u"Stock"), dao_error::kInvalidPath);
  EXPECT_EQ(db_.GetTableDefCount(), 5);
  ASSERT_EQ(Link(u"L", ";database=" + source_, u"Stock"), 0);
  EXPECT_EQ(Link(u"l", ";DATABASE=" + source_, u"Stock"), dao_error::kTableExists);

  CDaoTableDef def(&db_);
  def.Open(u"L");
  Sql(source_, "DROP TABLE Stock");
  EXPECT_EQ(DaoCode([&] { def.RefreshLink(); }), dao_error::kNoSuchTable);
  std::filesystem::remove(source_);
  EXPECT_EQ(DaoCode([&] { def.RefreshLink(); }), dao_error::kFileNotFound);
  // A query through a link whose file has gone fails without making the file again.
  EXPECT_EQ(DaoCode([&] { Rows("SELECT * FROM L"); }), dao_error::kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(source_));
}

TEST_F(LinkTest, LinkedTablesAreReadAndWrittenThroughTheirLinkNames) {
  Sql(path_,
      "CREATE TABLE People (Name TEXT(10), Age LONG); INSERT INTO People VALUES ('Ann', 30)");
  ASSERT_EQ(Link(u"Parts", ";DATABASE=" + source_, u"Stock"), 0);
  EXPECT_EQ(Exec("INSERT INTO Parts (Item, Qty) VALUES ('Bolt', 7)"), 1);
  EXPECT_EQ(Exec("UPDATE [Parts] SET Qty = Parts.Qty + 1 WHERE Item = 'Nut'"), 1);
  EXPECT_EQ(Rows("SELECT Parts.Item, Qty FROM Parts ORDER BY Item"), (Lines{"Bolt|7", "Nut|6"}));
  EXPECT_EQ(Rows("SELECT p.Item, Name FROM People, Parts AS p WHERE Qty = 7 AND Age = 30"),
            Lines{"Bolt|Ann"});
  EXPECT_EQ(Exec("DELETE FROM Parts WHERE Item = 'Nut'"), 1);
  EXPECT_EQ(Sql(source_, "SELECT Item, Qty FROM Stock"), Lines{"Bolt|7"});

  // The link made again to another file reads that file.
  db_.DeleteTableDef(u"Parts");
  ASSERT_EQ(Link(u"Parts", ";DATABASE=" + other_, u"Stock"), 0);
  EXPECT_EQ(Rows("SELECT Item, Qty FROM Parts"), Lines{"Nut|5"});
}

TEST_F(LinkTest, SqlDropsALinkButNeverTheDefinitionsOfItsFile) {
  Sql(source_, "CREATE INDEX ByQty ON Stock (Qty)");
  ASSERT_EQ(Link(u"Parts", ";DATABASE=" + source_, u"Stock"), 0);
  EXPECT_EQ(Rows("SELECT Qty FROM Parts"), Lines{"5"});  // the file is attached now
  // Whether by the link's name or the names inside its file, nothing defined there changes.
  for (const char* sql :
       {"ALTER TABLE Parts ADD COLUMN Extra LONG", "ALTER TABLE Parts RENAME TO P",
        "DROP INDEX ByQty", "DROP TABLE Stock"}) {
    EXPECT_EQ(DaoCode([&] { Exec(sql); }), dao_error::kInvalidOperation) << sql;
  }
  EXPECT_EQ(Exec("DROP TABLE main.[parts];"), 0);
  EXPECT_EQ(DaoCode([&] { CDaoTableDef(&db_).Open(u"Parts"); }), dao_error::kNoSuchTable);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM MSysLinks"), Lines{"0"});
  EXPECT_EQ(Sql(source_, "SELECT Item, Qty FROM Stock INDEXED BY ByQty"), Lines{"Nut|5"});
  EXPECT_EQ(Sql(source_, "SELECT count(*) FROM pragma_table_info('Stock')"), Lines{"2"});
}

}  // namespace
}  // namespace vorlix::test
