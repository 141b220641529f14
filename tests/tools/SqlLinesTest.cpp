#include <gtest/gtest.h>

#include "tools/shell/SqlLines.h"

namespace vorlix::shell {
namespace {

TEST(SqlLinesTest, SqlLinesAreToldFromCalls) {
  for (const char* sql :
       {"SELECT * FROM People", "  select 1", "DELETE FROM People;",
        "with t AS (SELECT 1) SELECT * FROM t", "Create TABLE x (a LONG)", "DROP\tTABLE x",
        "ALTER TABLE x ADD b TEXT", "UPDATE x SET a = 1", "INSERT INTO x VALUES (1)"}) {
    EXPECT_TRUE(IsSqlLine(sql)) << sql;
  }
  // Delete is a method too: alone it stays one, and names that merely begin with a keyword are
  // method names.
  for (const char* call : {"Delete", "Delete;", "delete ; Top", "Delete  # gone",
                           "CreateTable "
                           "\"x\" []",
                           "Selection 1", "", "SELECT"}) {
    EXPECT_FALSE(IsSqlLine(call)) << call;
  }
  EXPECT_TRUE(ReturnsRows(" with t AS (SELECT 1) SELECT * FROM t"));
  EXPECT_TRUE(ReturnsRows("select 1"));
  EXPECT_FALSE(ReturnsRows("INSERT INTO x SELECT * FROM y"));
}

TEST(SqlLinesTest, StatementsEndAtASemicolonOutsideQuotes) {
  EXPECT_EQ(StatementEnd("SELECT 1; SELECT 2;"), 8u);
  EXPECT_EQ(StatementEnd("SELECT 'a;b', \"c;d\", [e;f] FROM t;"), 33u);
  EXPECT_EQ(StatementEnd("SELECT 'it''s;' ;"), 16u);  // a doubled quote stays inside
  EXPECT_EQ(StatementEnd("SELECT 'open;"), std::string::npos);
  EXPECT_EQ(StatementEnd("SELECT *\nFROM t"), std::string::npos);
}

}  // namespace
}  // namespace vorlix::shell
