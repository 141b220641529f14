// A statement on a database server is waited for without holding the thread, and leaves
// nothing behind on the server.
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

// Whether sql succeeds on db, its rows in *rows.
bool Succeeds(CDBConnection& db, const char16_t* sql, Variant* rows) {
  VARIANT_BOOL ok = 0;
  db.SQL(sql, rows, &ok);
  return ok == VARIANT_TRUE;
}

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
  EXPECT_TRUE(Succeeds(db, u"SELECT pg_sleep(0.3)", &rows));
  EXPECT_GE(asked, 3);  // 300 ms of waiting, not one call that held the thread throughout

  stop = true;
  EXPECT_FALSE(Succeeds(db, u"SELECT pg_sleep(60)", &rows));
  EXPECT_EQ(LastCodeOf(db), 3059);

  stop = false;
  EXPECT_TRUE(Succeeds(db, u"SELECT \"Name\" FROM \"People\"", &rows));
}

// A statement prepared for one call is deallocated on the server, in the round trip of a
// later statement rather than one of its own: a long session does not pile them up there.
TEST(ServerWait, StatementsOfOneCallAreNotLeftOnTheServer) {
  CDBConnection db(SleepFor, [] { return false; });
  Bstr name;
  ASSERT_EQ(db.Open(B(NewServerDatabase()), 0, 0, &name), S_OK);
  Variant rows;
  auto prepared = [&] {
    EXPECT_TRUE(Succeeds(db, u"SELECT count(*) FROM pg_prepared_statements", &rows));
    return rows.AsArray().At(0);
  };
  auto names = [&] { EXPECT_TRUE(Succeeds(db, u"SELECT \"Name\" FROM \"People\"", &rows)); };
  names();  // the catalogue's statements, kept for the session, are made
  const Variant before = prepared();
  for (int i = 0; i < 40; ++i)
    names();
  EXPECT_EQ(prepared(), before);
}

}  // namespace
}  // namespace vorlix::test
