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

  void Link(const char16_t* name, const std::string& connect, const char16_t* source) {
    CDaoTableDef def(&db_);
    def.Create(name, 0, source, B(connect));
    def.Append();
    def.RefreshLink();
    def.Close();
  }

  test::TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  // A semicolon in the path: the link's path is all that follows DATABASE=.
  std::string source_ = dir_.Path("other;PWD=x.vdb");
  CDaoDatabase db_;
};

TEST_F(LinkTest, LinkIsListedWithItsConnectStringAndSourceTable) {
  Link(u"Remote", ";DATABASE=" + source_, u"stock");
  CDaoTableDefInfo info;
  int i = 0;
  for (; i < db_.GetTableDefCount(); ++i) {
    db_.GetTableDefInfo(i, info, AFX_DAO_ALL_INFO);
    if (info.m_strName == Bstr(u"Remote")) break;
  }
  ASSERT_LT(i, db_.GetTableDefCount());
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
  CDaoTableDef def(&db_);
  def.Create(u"L", 0, u"Nothing", B(";DATABASE=" + source_));
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kNoSuchTable);
  def.Close();
  def.Create(u"L", 0, u"Stock", B(";DATABASE=" + dir_.Path("gone.vdb")));
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kFileNotFound);
  def.Close();
  EXPECT_EQ(DaoCode([&] { def.Create(u"L", 0, u"Stock", u"ODBC;DSN=x"); }),
            dao_error::kInvalidArgument);
  EXPECT_EQ(DaoCode([&] { def.Create(u"L", 0, u"Stock", u";DATABASE="); }),
            dao_error::kInvalidPath);
  EXPECT_EQ(db_.GetTableDefCount(), 5);

  Link(u"L", ";database=" + source_, u"Stock");
  def.Create(u"l", 0, u"Stock", B(";DATABASE=" + source_));
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kTableExists);
  def.Close();

  def.Open(u"L");
  Sql(source_, "DROP TABLE Stock");
  EXPECT_EQ(DaoCode([&] { def.RefreshLink(); }), dao_error::kNoSuchTable);
  std::filesystem::remove(source_);
  EXPECT_EQ(DaoCode([&] { def.RefreshLink(); }), dao_error::kFileNotFound);
}

}  // namespace
}  // namespace vorlix
