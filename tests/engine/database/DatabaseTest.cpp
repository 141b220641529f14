#include <sys/stat.h>

#include <fstream>

#include "engine/database/Engine.h"
#include "engine/database/Workspace.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

class DatabaseTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
};

TEST_F(DatabaseTest, OpenFailuresCarryTheirCodes) {
  CDaoDatabase db;
  auto open = [&](const std::string& path, bool readOnly = false) {
    return DaoCode([&] { db.Open(B(path), false, readOnly); });
  };
  EXPECT_EQ(open(dir_.Path("no/such/folder.vdb")), dao_error::kInvalidPath);
  EXPECT_EQ(open(""), dao_error::kInvalidPath);
  std::ofstream(dir_.Path("text.dat")) << std::string(4096, 'x');
  EXPECT_EQ(open(dir_.Path("text.dat")), dao_error::kNotADatabase);
  EXPECT_EQ(open(dir_.Path("text.dat"), true), dao_error::kNotADatabase);
  CreateDatabase(path_);
  EXPECT_EQ(DaoCode([&] { db.Open(B(path_), false, false, u";PWD=x"); }),
            dao_error::kInvalidArgument);
  EXPECT_FALSE(db.IsOpen());
  db.Open(B(path_));
  EXPECT_EQ(open(path_), dao_error::kInvalidOperation);
  EXPECT_TRUE(db.IsOpen());
}

TEST_F(DatabaseTest, CreateRecordsLocaleAndOptionsAndRefusesAnExistingFile) {
  {
    CDaoDatabase db;
    db.Create(B(path_), u";LANGID=0x0409;CP=1252;COUNTRY=0", 64);
    // The catalog tables are listed as system tables; positions past the list are not found.
    CDaoTableDefInfo info;
    db.GetTableDefInfo(0, info, AFX_DAO_ALL_INFO);
    EXPECT_EQ(info.m_strName, Bstr(u"MSysCounters"));
    EXPECT_EQ(info.m_lAttributes, dbSystemObject);
    EXPECT_FALSE(info.m_bUpdatable);
    EXPECT_EQ(DaoCode([&] { db.GetTableDefInfo(5, info); }), dao_error::kItemNotFound);
  }
  // The object closed the file when it went.
  EXPECT_FALSE(engine::IsOpenHere(*engine::IdentifyFile(path_)));
  EXPECT_EQ(Sql(path_, "SELECT Name, Value FROM MSysInfo ORDER BY Name"),
            (Lines{"Locale|;LANGID=0x0409;CP=1252;COUNTRY=0", "Options|64"}));
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode"), Lines{"wal"});

  CDaoDatabase again;
  EXPECT_EQ(DaoCode([&] { again.Create(B(dir_.Path("missing/x.vdb"))); }), dao_error::kInvalidPath);
  EXPECT_FALSE(again.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("missing")));
  // A link that points nowhere exists too: following it would make a file where it points.
  const std::string link = dir_.Path("link"), target = dir_.Path("target.vdb");
  std::filesystem::create_symlink(target, link);
  EXPECT_EQ(DaoCode([&] { again.Create(B(link)); }), dao_error::kDatabaseExists);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(DatabaseTest, ReadOnlyOpensLeaveAPlainFileAsItWasAndOpeningForWritingAddsTheCatalog) {
  Sql(path_, "CREATE TABLE T (A)");
  const std::string before = Sql(path_, "PRAGMA journal_mode").front();
  ASSERT_NE(before, "wal");
  {
    CDaoDatabase db;
    db.Open(B(path_), false, true);
    EXPECT_EQ(db.GetTableDefCount(), 1);
    EXPECT_EQ(DaoCode([&] { db.DeleteTableDef(u"T"); }), dao_error::kReadOnly);
    db.Close();
    // Exclusive and read-only: others are kept out, the file is still not changed.
    CDaoDatabase other;
    db.Open(B(path_), true, true);
    EXPECT_FALSE(db.CanUpdate());
    EXPECT_EQ(DaoCode([&] { other.Open(B(path_), false, true); }), dao_error::kCannotOpen);
  }
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode").front(), before);
  EXPECT_EQ(Sql(path_, "SELECT count(*) FROM sqlite_schema"), Lines{"1"});
  CDaoDatabase db;
  db.Open(B(path_));
  EXPECT_EQ(db.GetTableDefCount(), 6);
  EXPECT_EQ(Sql(path_, "PRAGMA journal_mode"), Lines{"wal"});
}

// Devices, names cut at a NUL and empty files, given to every method that takes a file name,
// are refused through the connection (tests/connection/DatabaseFilesTest.cpp). What only the
// engine sees: SQLite reads a journal it finds beside the file before anything else, which
// waits for ever on a FIFO and is no journal when it is no file.
TEST_F(DatabaseTest, ADatabaseWithSomethingButAFileBesideItIsNotOpened) {
  CreateDatabase(path_);
  std::filesystem::create_directory(path_ + "-journal");
  for (const bool readOnly : {false, true}) {
    EXPECT_EQ(DaoCode([&] { CDaoDatabase().Open(B(path_), false, readOnly); }),
              dao_error::kInvalidPath)
        << readOnly;
  }
  std::filesystem::remove(path_ + "-journal");
  EXPECT_EQ(DaoCode([&] { CDaoDatabase().Open(B(path_)); }), 0);
}

// SQLite would read a name that begins with "file:" as a URI naming another file.
TEST_F(DatabaseTest, ANameThatLooksLikeAUriIsTheFileOfThatName) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.dir());
  Sql("other.vdb", "CREATE TABLE T (A)");
  {
    CDaoDatabase db;
    db.Create(u"file:other.vdb");
    db.Close();
    CDaoWorkspace::CompactDatabase(u"file:other.vdb", u"file:copy.vdb");
    db.Open(u"file:copy.vdb", false, true);
    EXPECT_EQ(db.GetName(), Bstr(u"file:copy.vdb"));
    EXPECT_EQ(db.GetTableDefCount(), 5);  // the catalog alone: not other.vdb, which has T
  }
  EXPECT_EQ(Sql("other.vdb", "SELECT count(*) FROM sqlite_schema"), Lines{"1"});
  EXPECT_FALSE(std::filesystem::exists("copy.vdb"));
  std::filesystem::current_path(before);
}

// What SQLite keeps beside a WAL file while it is open: the log and its shared-memory index.
// A connection that may only read cannot remove them when it closes last.
bool Remain(const std::string& path) {
  return std::filesystem::exists(path + "-wal") || std::filesystem::exists(path + "-shm");
}

using SideFilesTest = EngineTest;

TEST_F(SideFilesTest, NothingRemainsBesideAFileAfterItsLastConnectionCloses) {
  const std::string other = dir_.Path("other.vdb"), copy = dir_.Path("copy.vdb");
  CreateDatabase(other);
  Sql(other, "CREATE TABLE Stock (Item TEXT(10))");
  for (const bool exclusive : {false, true}) {
    CDaoDatabase reader;
    reader.Open(B(other), exclusive, true);
    EXPECT_EQ(reader.GetTableDefCount(), 6);
    reader.Close();
    EXPECT_FALSE(Remain(other)) << exclusive;
  }
  {
    CDaoDatabase writer, reader;
    writer.Open(B(other));
    reader.Open(B(other), false, true);
    EXPECT_EQ(reader.GetTableDefCount(), 6);
    writer.Close();
  }
  EXPECT_FALSE(Remain(other));
  CDaoWorkspace::CompactDatabase(B(other), B(copy));
  EXPECT_FALSE(Remain(other));
  EXPECT_FALSE(Remain(copy));

  // A link is checked by reading its file, which a database open for reading then attaches.
  CDaoTableDef link(&db_);
  link.Create(u"Far", 0, u"Stock", B(";DATABASE=" + other));
  link.Append();
  link.Close();
  EXPECT_FALSE(Remain(other));
  db_.Close();
  db_.Open(B(path_), false, true);
  EXPECT_EQ(Rows("SELECT count(*) FROM Far"), Lines{"0"});
  db_.Close();
  EXPECT_FALSE(Remain(other));
  EXPECT_FALSE(Remain(path_));
}

// Shared and exclusive opens against each other are checked across processes (SecondProcess);
// a file that may only be read, through the connection's fall-back to reading (LifecycleTest).
TEST_F(DatabaseTest, AFileTheUserMayNotReadIsRefusedEvenForReading) {
  CreateDatabase(path_);
  // The folder is open to the unprivileged user, so that the file's own mode is what refuses.
  std::filesystem::permissions(dir_.dir(), std::filesystem::perms::all);
  const std::string p = path_;
  ASSERT_EQ(chmod(p.c_str(), 0), 0);
  EXPECT_EQ(
      InChildProcess([&] { return DaoCode([&] { CDaoDatabase().Open(B(p), false, true); }); }),
      dao_error::kCannotOpen);
  chmod(p.c_str(), 0644);
}

// Closing a database closes its recordsets (RecordWriteTest); every test's recordsets going
// before their database show, under the sanitizers, that a dependent that left is not called.
TEST_F(DatabaseTest, StoppingTheEngineWaitsForTheLastDatabaseToClose) {
  CreateDatabase(path_);
  AfxDaoInit();
  CDaoDatabase a, b;
  a.Open(B(path_));
  AfxDaoTerm();
  b.Open(B(path_));  // opening meanwhile neither fails nor cancels the stop
  a.Close();
  EXPECT_TRUE(engine::IsRunning());
  b.Close();
  EXPECT_FALSE(engine::IsRunning());
  a.Open(B(path_));  // a stopped engine starts again when needed
  EXPECT_TRUE(engine::IsRunning());
  EXPECT_EQ(a.GetTableDefCount(), 5);
}

}  // namespace
}  // namespace vorlix::test
