#include <sys/stat.h>

#include <fstream>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/TableDef.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;

std::vector<std::string> TableNames(CDaoDatabase& db) {
  std::vector<std::string> names;
  for (int i = 0; i < db.GetTableDefCount(); ++i) {
    CDaoTableDefInfo info;
    db.GetTableDefInfo(i, info);
    names.push_back(info.m_strName.Utf8());
  }
  return names;
}

class DatabaseTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
};

TEST_F(DatabaseTest, OpenFailuresCarryTheirCodes) {
  CDaoDatabase db;
  EXPECT_EQ(DaoCode([&] { db.Open(B(path_)); }), dao_error::kFileNotFound);
  EXPECT_EQ(DaoCode([&] { db.Open(B(dir_.Path("no/such/folder.vdb"))); }), dao_error::kInvalidPath);
  EXPECT_EQ(DaoCode([&] { db.Open(Bstr()); }), dao_error::kInvalidPath);
  EXPECT_EQ(DaoCode([&] { db.Open(B(dir_.dir().string())); }), dao_error::kInvalidPath);

  std::ofstream(dir_.Path("text.dat")) << std::string(4096, 'x');
  EXPECT_EQ(DaoCode([&] { db.Open(B(dir_.Path("text.dat"))); }), dao_error::kNotADatabase);
  EXPECT_EQ(DaoCode([&] { db.Open(B(dir_.Path("text.dat")), false, true); }),
            dao_error::kNotADatabase);

  test::CreateDatabase(path_);
  EXPECT_EQ(DaoCode([&] { db.Open(B(path_), false, false, u";PWD=x"); }),
            dao_error::kInvalidArgument);
  EXPECT_FALSE(db.IsOpen());
  db.Open(B(path_));
  EXPECT_EQ(DaoCode([&] { db.Open(B(path_)); }), dao_error::kInvalidOperation);
  EXPECT_TRUE(db.IsOpen());
}

TEST_F(DatabaseTest, CreateRecordsLocaleAndOptionsAndRefusesAnExistingFile) {
  {
    CDaoDatabase db;
    db.Create(B(path_), u";LANGID=0x0409;CP=1252;COUNTRY=0", 64);
    EXPECT_TRUE(db.IsOpen());
    EXPECT_TRUE(db.CanUpdate());
    EXPECT_EQ(db.GetStatus(), 0);
    EXPECT_EQ(db.GetName().Utf8(), path_);
    EXPECT_TRUE(engine::IsOpenHere(*engine::IdentifyFile(path_)));
  }
  // The object closed the file when it went.
  EXPECT_FALSE(engine::IsOpenHere(*engine::IdentifyFile(path_)));
  EXPECT_EQ(Sql(path_, "SELECT Name, Value FROM MSysInfo ORDER BY Name"),
            (std::vector<std::string>{"Locale|;LANGID=0x0409;CP=1252;COUNTRY=0", "Options|64"}));
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});

  CDaoDatabase again;
  EXPECT_EQ(DaoCode([&] { again.Create(B(path_)); }), dao_error::kDatabaseExists);
  EXPECT_FALSE(again.IsOpen());
  EXPECT_EQ(DaoCode([&] { again.Create(B(dir_.Path("missing/x.vdb"))); }), dao_error::kInvalidPath);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("missing")));
}

TEST_F(DatabaseTest, ReadOnlyOpenCannotUpdate) {
  test::CreateDatabase(path_);
  CDaoDatabase db;
  db.Open(B(path_), false, true);
  EXPECT_FALSE(db.CanUpdate());
  CDaoTableDef def(&db);
  def.Create(u"T");
  CDaoFieldInfo field;
  field.m_strName = u"A";
  field.m_nType = dbLong;
  def.CreateField(field);
  EXPECT_EQ(DaoCode([&] { def.Append(); }), dao_error::kReadOnly);
  EXPECT_EQ(DaoCode([&] { db.DeleteTableDef(u"MSysInfo"); }), dao_error::kReadOnly);
}

TEST_F(DatabaseTest, ExclusiveOpenExcludesEveryOtherOpenUntilItCloses) {
  test::CreateDatabase(path_);
  CDaoDatabase a, b;
  a.Open(B(path_), true, false);
  EXPECT_EQ(DaoCode([&] { b.Open(B(path_)); }), dao_error::kCannotOpen);
  EXPECT_EQ(DaoCode([&] { b.Open(B(path_), false, true); }), dao_error::kCannotOpen);
  EXPECT_EQ(DaoCode([&] { b.Open(B(path_), true, false); }), dao_error::kCannotOpen);
  EXPECT_FALSE(b.IsOpen());
  EXPECT_EQ(a.GetTableDefCount(), 5);  // the exclusive holder works normally
  a.Close();
  b.Open(B(path_));
  EXPECT_TRUE(b.CanUpdate());
}

TEST_F(DatabaseTest, ExclusiveOpenFailsWhileAnotherUserHasTheFileOpen) {
  test::CreateDatabase(path_);
  CDaoDatabase shared, exclusive;
  shared.Open(B(path_));
  EXPECT_EQ(DaoCode([&] { exclusive.Open(B(path_), true, false); }), dao_error::kCannotOpen);
  shared.Close();
  exclusive.Open(B(path_), true, true);
  EXPECT_FALSE(exclusive.CanUpdate());
  EXPECT_EQ(DaoCode([&] { shared.Open(B(path_), false, true); }), dao_error::kCannotOpen);
}

TEST_F(DatabaseTest, ReadOnlyOpensLeaveAPlainFileAsItWas) {
  Sql(path_, "CREATE TABLE T (A)");
  const std::string before = Sql(path_, "PRAGMA journal_mode").front();
  ASSERT_NE(before, "wal");
  {
    CDaoDatabase exclusive, other;
    exclusive.Open(B(path_), true, true);
    EXPECT_FALSE(exclusive.CanUpdate());
    EXPECT_EQ(exclusive.GetTableDefCount(), 1);
    EXPECT_EQ(DaoCode([&] { other.Open(B(path_), false, true); }), dao_error::kCannotOpen);
  }
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode").front(), before);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM sqlite_schema"), std::vector<std::string>{"1"});
}

TEST_F(DatabaseTest, PermissionsDecideBetweenWritingReadingAndNothing) {
  test::CreateDatabase(path_);
  // The folder is open to the unprivileged user, who needs to make the WAL index beside it.
  std::filesystem::permissions(dir_.dir(), std::filesystem::perms::all);
  const std::string p = path_;
  ASSERT_EQ(chmod(p.c_str(), 0444), 0);
  EXPECT_EQ(test::InChildProcess([&] { return DaoCode([&] { CDaoDatabase().Open(B(p)); }); }),
            dao_error::kCannotOpen);
  EXPECT_EQ(test::InChildProcess([&] {
              CDaoDatabase db;
              int32_t code = DaoCode([&] { db.Open(B(p), false, true); });
              return code ? code : db.CanUpdate() ? -2 : db.GetTableDefCount();
            }),
            5);
  ASSERT_EQ(chmod(p.c_str(), 0), 0);
  EXPECT_EQ(test::InChildProcess(
                [&] { return DaoCode([&] { CDaoDatabase().Open(B(p), false, true); }); }),
            dao_error::kCannotOpen);
  chmod(p.c_str(), 0644);
}

TEST_F(DatabaseTest, PlainSqliteFileGetsTheCatalogOnlyWhenOpenedForWriting) {
  Sql(path_, "CREATE TABLE People (Name TEXT)");
  CDaoDatabase db;
  db.Open(B(path_), false, true);
  EXPECT_EQ(TableNames(db), std::vector<std::string>{"People"});
  db.Close();
  db.Open(B(path_));
  EXPECT_EQ(TableNames(db), (std::vector<std::string>{"MSysCounters", "MSysFields", "MSysIndexes",
                                                      "MSysInfo", "MSysLinks", "People"}));
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
}

struct Recorder : CDaoDatabase::Dependent {
  CDaoDatabase* db;
  int closes = 0;
  explicit Recorder(CDaoDatabase* d) : db(d) { db->AddDependent(this); }
  void OnDatabaseClose() noexcept override {
    ++closes;
    db->RemoveDependent(this);
  }
};

TEST_F(DatabaseTest, ClosingTheDatabaseClosesEveryDependentOnce) {
  test::CreateDatabase(path_);
  CDaoDatabase db;
  db.Open(B(path_));
  Recorder first(&db), second(&db), gone(&db);
  db.RemoveDependent(&gone);
  db.Close();
  db.Close();
  EXPECT_EQ(first.closes, 1);
  EXPECT_EQ(second.closes, 1);
  EXPECT_EQ(gone.closes, 0);
}

TEST_F(DatabaseTest, EngineStopWaitsForTheLastDatabaseToClose) {
  test::CreateDatabase(path_);
  AfxDaoInit();
  CDaoDatabase a, b;
  a.Open(B(path_));
  AfxDaoTerm();
  EXPECT_TRUE(engine::IsRunning());
  b.Open(B(path_));  // opening meanwhile neither fails nor cancels the stop
  a.Close();
  EXPECT_TRUE(engine::IsRunning());
  EXPECT_EQ(b.GetTableDefCount(), 5);
  b.Close();
  EXPECT_FALSE(engine::IsRunning());
  a.Open(B(path_));  // a stopped engine starts again when needed
  EXPECT_TRUE(engine::IsRunning());
  EXPECT_EQ(a.GetTableDefCount(), 5);
}

TEST_F(DatabaseTest, TableDefinitionPositionsOutsideTheListAreNotFound) {
  test::CreateDatabase(path_);
  CDaoDatabase db;
  db.Open(B(path_));
  CDaoTableDefInfo info;
  EXPECT_EQ(DaoCode([&] { db.GetTableDefInfo(-1, info); }), dao_error::kItemNotFound);
  EXPECT_EQ(DaoCode([&] { db.GetTableDefInfo(5, info); }), dao_error::kItemNotFound);
  db.GetTableDefInfo(0, info, AFX_DAO_ALL_INFO);
  EXPECT_EQ(info.m_strName, Bstr(u"MSysCounters"));
  EXPECT_EQ(info.m_lAttributes, dbSystemObject);
  EXPECT_FALSE(info.m_bUpdatable);
  EXPECT_EQ(info.m_lRecordCount, 0);
}

}  // namespace
}  // namespace vorlix
