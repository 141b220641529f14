// The query text the engine hands to SQLite: parameter declarations and references, the
// declared types and collation of Text and Memo columns made by SQL, and the one-statement rule.
#include "engine/recordsets/QueryText.h"
#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

TEST(QueryText, ParametersBecomeNumberedOnlyDeclaredBracketsAreReplacedAndMisdeclaredOnesFail) {
  const QueryText q = ReadQueryText(
      "PARAMETERS [Start Date] DATETIME, Who TEXT ( 20 ), n LONG;\n"
      "SELECT [Name], '[who]' FROM [My Table] WHERE Born >= [start date] AND Name = [Who] "
      "OR [Who] IS NULL");
  ASSERT_EQ(q.parameters.size(), 3u);
  EXPECT_EQ(q.parameters[0].name, "Start Date");
  EXPECT_EQ(q.parameters[0].type->code, dbDate);
  EXPECT_EQ(q.parameters[1].type->code, dbText);
  EXPECT_EQ(q.parameters[1].size, 20);
  EXPECT_EQ(q.parameters[2].type->code, dbLong);
  EXPECT_EQ(q.sql,
            "SELECT [Name], '[who]' FROM [My Table] WHERE Born >= ?1 AND Name = ?2 OR ?2 IS NULL");
  EXPECT_EQ(ReadQueryText("SELECT [x] FROM t").sql, "SELECT [x] FROM t");
  for (const char* text :
       {"PARAMETERS; SELECT 1", "PARAMETERS x; SELECT 1", "PARAMETERS x LONG SELECT 1",
        "PARAMETERS x LONG, X SHORT; SELECT 1", "SELECT 'open"}) {
    EXPECT_EQ(DaoCode([&] { ReadQueryText(text); }), dao_error::kSyntaxError) << text;
  }
}

TEST(QueryText, ColumnsMadeBySqlKeepAndCompareTextAsTheEnginesOwn) {
  EXPECT_EQ(WithEngineColumns("CREATE TABLE t (a TEXT(10), b LONG, c VARCHAR (5) NOT NULL, "
                              "d MEMO COLLATE BINARY, e CHAR, f TEXT COLLATE NOCASE, CONSTRAINT "
                              "pk PRIMARY KEY (b))"),
            "CREATE TABLE t (a TEXT(10) COLLATE GENERAL, b LONG, c VARCHAR (5) NOT NULL COLLATE "
            "GENERAL, d LONGTEXT COLLATE BINARY, e CHAR COLLATE GENERAL, f TEXT COLLATE NOCASE, "
            "CONSTRAINT pk PRIMARY KEY (b))");
  // Only type words change: names, literals, comments and casts stay.
  EXPECT_EQ(WithEngineColumns("CREATE TABLE [Memo] (Memo memo DEFAULT 'MEMO' CHECK (CAST(Memo "
                              "AS MEMO) <> ''), \"MEMO\" NOTE /* MEMO */, g GUID, d DATE)"),
            "CREATE TABLE [Memo] (Memo LONGTEXT DEFAULT 'MEMO' CHECK (CAST(Memo AS MEMO) <> '') "
            "COLLATE GENERAL, \"MEMO\" LONGTEXT COLLATE GENERAL /* MEMO */, g GUID, d DATE)");
  EXPECT_EQ(WithEngineColumns("ALTER TABLE main.t ADD COLUMN n MEMO DEFAULT 'x';"),
            "ALTER TABLE main.t ADD COLUMN n LONGTEXT DEFAULT 'x' COLLATE GENERAL;");
  for (const char* unchanged :
       {"ALTER TABLE t ADD n LONG", "CREATE INDEX i ON t (a)",
        "CREATE TABLE t AS SELECT CAST(a AS MEMO) FROM u", "SELECT CAST('007' AS MEMO)",
        "CREATE VIRTUAL TABLE v USING m (a MEMO)", "CREATE TABLE t (a, b BLOB)"}) {
    EXPECT_EQ(WithEngineColumns(unchanged), unchanged);
  }
}

TEST(QueryText, ASecondStatementIsNoticedOutsideQuotesAndComments) {
  EXPECT_FALSE(HasSecondStatement("DELETE FROM t;"));
  EXPECT_FALSE(HasSecondStatement("DELETE FROM t ;; -- DELETE FROM u"));
  EXPECT_FALSE(HasSecondStatement("INSERT INTO t VALUES ('a; DROP TABLE t')"));
  EXPECT_TRUE(HasSecondStatement("DELETE FROM t; DELETE FROM u"));
}

}  // namespace
}  // namespace vorlix::test
