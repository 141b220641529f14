// A statement on a database server is waited for without holding the thread.
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

// While the server works, the call keeps asking whether to let others have the thread and
// whether to stop; a stop cancels the statement on the server, and the connection goes on.
TEST(ServerWait, AWaitLetsTheThreadGoAndAStopCancelsTheStatement) {
  int asked = 0;
  bool stop = false;
  CDBConnection db(SleepFor, [&] {
    ++asked;
    return stop;
  });
  const std::string uri = NewServerDatabase();
  Bstr name;
  ASSERT_EQ(db.Open(B(uri), 0, 0, &name), S_OK);
  Variant rows;
  VARIANT_BOOL ok = 0;
  db.SQL(u"SELECT pg_sleep(0.3)", &rows, &ok);
  EXPECT_TRUE(ok);
  EXPECT_GE(asked, 3);  // 300 ms of waiting, not one call that held the thread throughout

  stop = true;
  db.SQL(u"SELECT pg_sleep(60)", &rows, &ok);
  EXPECT_FALSE(ok);
  int32_t code = 0;
  Bstr description;
  db.GetLastDAOError(&code, &description);
  EXPECT_EQ(code, 3059);

  stop = false;
  db.SQL(u"SELECT \"Name\" FROM \"People\"", &rows, &ok);
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace vorlix::test
