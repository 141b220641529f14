#include "engine/database/Workspace.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

// Refusing an existing destination or a source open here is checked through the connection
// (tests/connection/DatabaseFilesTest.cpp); a missing source is refused by the check that
// Open makes (LifecycleTest).
TEST(Compact, CopyIsSmallerHoldsTheSameDataAndTheLocaleGivenAndAPlainFileStaysPlain) {
  TempDir dir;
  const std::string src = dir.Path("src.vdb"), dst = dir.Path("dst.vdb");
  CreateDatabase(src);
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
            Lines{";LANGID=0x0407;CP=1252;COUNTRY=0"});

  // A file that other programs made, and the engine never opened for writing, has no catalog;
  // its copy has none either, so the locale has nowhere to go.
  const std::string plain = dir.Path("plain.vdb"), plainCopy = dir.Path("plain-copy.vdb");
  Sql(plain, "CREATE TABLE T (N INTEGER); INSERT INTO T VALUES (1), (2)");
  CDaoWorkspace::CompactDatabase(B(plain), B(plainCopy));
  EXPECT_EQ(Sql(plainCopy, "SELECT group_concat(name) FROM sqlite_schema"), Lines{"T"});
  EXPECT_EQ(Sql(plainCopy, "SELECT sum(N) FROM T"), Lines{"3"});
}

}  // namespace
}  // namespace vorlix::test
