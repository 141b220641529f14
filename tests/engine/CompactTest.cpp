#include "EngineTestSupport.h"
#include "engine/Workspace.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;

TEST(Compact, CopyIsSmallerAfterDeletesAndHoldsTheSameData) {
  test::TempDir dir;
  const std::string src = dir.Path("src.vdb"), dst = dir.Path("dst.vdb");
  test::CreateDatabase(src);
  Sql(src,
      "CREATE TABLE T (N LONG, Pad LONGTEXT);"
      "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 2000) "
      "INSERT INTO T SELECT n, hex(randomblob(200)) FROM c;"
      "DELETE FROM T WHERE N > 100;"
      "PRAGMA wal_checkpoint(TRUNCATE)");
  CDaoWorkspace::CompactDatabase(B(src), B(dst), u";LANGID=0x0407;CP=1252;COUNTRY=0");
  EXPECT_LT(std::filesystem::file_size(dst), std::filesystem::file_size(src) / 4);
  EXPECT_EQ(Sql(dst, "SELECT count(*), sum(N), sum(length(Pad)) FROM T"),
            Sql(src, "SELECT count(*), sum(N), sum(length(Pad)) FROM T"));
  EXPECT_EQ(Sql(dst, "SELECT Value FROM MSysInfo WHERE Name = 'Locale'"),
            std::vector<std::string>{";LANGID=0x0407;CP=1252;COUNTRY=0"});
  CDaoDatabase copy;
  copy.Open(B(dst));
  EXPECT_EQ(copy.GetTableDefCount(), 6);
}

TEST(Compact, RefusesAnExistingDestinationAndASourceOpenHere) {
  test::TempDir dir;
  const std::string src = dir.Path("src.vdb"), dst = dir.Path("dst.vdb");
  EXPECT_EQ(DaoCode([&] { CDaoWorkspace::CompactDatabase(B(src), B(dst)); }),
            dao_error::kFileNotFound);
  test::CreateDatabase(src);
  test::CreateDatabase(dst);
  EXPECT_EQ(DaoCode([&] { CDaoWorkspace::CompactDatabase(B(src), B(dst)); }),
            dao_error::kDatabaseExists);
  std::filesystem::remove(dst);
  CDaoDatabase open;
  open.Open(B(src), false, true);
  EXPECT_EQ(DaoCode([&] { CDaoWorkspace::CompactDatabase(B(src), B(dst)); }),
            dao_error::kFileInUse);
  EXPECT_FALSE(std::filesystem::exists(dst));
  open.Close();
  CDaoWorkspace::CompactDatabase(B(src), B(dst));
  EXPECT_TRUE(std::filesystem::exists(dst));
}

}  // namespace
}  // namespace vorlix
