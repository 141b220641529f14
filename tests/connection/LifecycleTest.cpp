// Opening and closing the connection's database.
#include <sys/stat.h>

#include "ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

using LifecycleTest = ConnectionTest;

TEST_F(LifecycleTest, OpenGivesTheNameOrAsksForRepair) {
  EXPECT_TRUE(Ask(&CDBConnection::ReadOnly));
  EXPECT_EQ(Open(path_), B(path_));
  EXPECT_TRUE(Ask(&CDBConnection::CanUpdate));
  // 1 is not VARIANT_TRUE, but any non-zero value counts.
  EXPECT_EQ(Open(path_, 0, 1), B(path_));
  EXPECT_TRUE(Ask(&CDBConnection::ReadOnly));
  EXPECT_TRUE(Table(u"People"));

  EXPECT_EQ(Open(dir_.Path("missing.vdb")), Bstr(u"*REPAIR*"));
  EXPECT_EQ(LastCode(), dao_error::kFileNotFound);
  // The database open before is closed with its table, although the new open failed.
  EXPECT_FALSE(Ask(&CDBConnection::IsOpen));
  EXPECT_TRUE(Ask(&CDBConnection::TableIsReady));
}

TEST_F(LifecycleTest, FileHeldExclusivelyElsewhereCannotBeOpenedAtAllAndOnlyThatIsUnrecorded) {
  CDBConnection holder;
  Bstr name;
  ASSERT_EQ(holder.Open(B(path_), VARIANT_TRUE, 0, &name), S_OK);
  ASSERT_EQ(name, B(path_));
  // Refused for writing, then for reading: the second failure is recorded.
  EXPECT_EQ(Open(path_), Bstr());
  EXPECT_EQ(LastCode(), dao_error::kCannotOpen);
  EXPECT_TRUE(Error());

  VARIANT_BOOL readOnly = 7;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* ok) { return db_.OpenForWrite(B(path_), &readOnly, ok); }));
  EXPECT_EQ(readOnly, VARIANT_TRUE);
  EXPECT_FALSE(Error());
  EXPECT_FALSE(Ask(&CDBConnection::IsOpen));
}

TEST_F(LifecycleTest, FileThatMayOnlyBeReadOpensReadOnlyWithoutAnError) {
  // The folder is open to the unprivileged user, who needs to make the WAL index beside it.
  std::filesystem::permissions(dir_.dir(), std::filesystem::perms::all);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  EXPECT_EQ(InChildProcess([&] {
              return Open(path_) == B(path_) && Ask(&CDBConnection::ReadOnly) && !Error();
            }),
            1);
}

// That the file is released too, DatabaseFilesTest shows by compacting it after a Close.
TEST_F(LifecycleTest, CloseReleasesTablesAndMayBeCalledAgain) {
  OpenDatabase();
  EXPECT_TRUE(Table(u"People"));
  EXPECT_TRUE(Table(u"Empty"));
  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_TRUE(Ask(&CDBConnection::TableIsReady));
  EXPECT_TRUE(Ask(&CDBConnection::Close));
}

}  // namespace
}  // namespace vorlix::test
