#include "EngineTestSupport.h"
#include "engine/TableDef.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CreateDatabase(path_);
    test::CreateDatabase(source_);
    Sql(source_, "CREATE TABLE Stock (Item TEXT(10))");
    db_.Open(B(path_));
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

  test::TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  // A semicolon in the path: the link's path is all that follows DATABASE=.
  std::string source_ = dir_.Path("other;PWD=x.vdb");
  CDaoDatabase db_;
};

TEST_F(LinkTest, LinkIsListedWithItsConnectStringAndSourceTable) {
  ASSERT_EQ(Link(u"Remote", ";DATABASE=" + source_, u"stock"), 0);
  CDaoTableDefInfo info;
  db_.GetTableDefInfo(5, info, AFX_DAO_ALL_INFO);  // after the five MSys tables
  EXPECT_EQ(info.m_strName, Bstr(u"Remote"));
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
  EXPECT_EQ(DaoCode([&] { def.Open(u"Far"); }), dao_error::kItemNotFound);
}

TEST_F(LinkTest, LinksToMissingFilesOrTablesAreRefused) {
  EXPECT_EQ(Link(u"L", ";DATABASE=" + source_, u"Nothing"), dao_error::kNoSuchTable);
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
}

}  // namespace
}  // namespace vorlix
