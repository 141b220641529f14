#include <gtest/gtest.h>

#include "engine/store/Sqlite.h"
#include "tests/support/TestFiles.h"

namespace vorlix::test {
namespace {

// The version stays while nothing changes and moves on with any commit, this connection's or
// another's; what was read inside a transaction is never vouched for after it, even when the
// transaction was rolled back and the file is as it was.
TEST(ReadVersion, MovesWithEveryCommitAndNeverVouchesForReadsInsideATransaction) {
  TempDir dir;
  const std::string path = dir.Path("v.vdb");
  std::unique_ptr<SqliteDb> db = SqliteDb::CreateFile(path);
  db->Exec("CREATE TABLE T (N)");
  std::unique_ptr<SqliteDb> other = SqliteDb::OpenFile(path, false, false);

  const uint64_t start = db->ReadVersion();
  EXPECT_EQ(db->ReadVersion(), start);
  other->Exec("INSERT INTO T VALUES (1)");
  const uint64_t afterOther = db->ReadVersion();
  EXPECT_NE(afterOther, start);
  db->Exec("INSERT INTO T VALUES (2)");
  const uint64_t afterOwn = db->ReadVersion();
  EXPECT_NE(afterOwn, afterOther);

  db->BeginWrite();
  const uint64_t inside = db->ReadVersion();
  EXPECT_NE(db->ReadVersion(), inside);
  db->Rollback();
  const uint64_t after = db->ReadVersion();
  EXPECT_NE(after, inside);
  EXPECT_EQ(db->ReadVersion(), after);

  // Held exclusively, the file has no shared index to vouch with.
  db.reset();
  other.reset();
  std::unique_ptr<SqliteDb> alone = SqliteDb::OpenFile(path, true, false);
  EXPECT_NE(alone->ReadVersion(), alone->ReadVersion());
}

}  // namespace
}  // namespace vorlix::test
