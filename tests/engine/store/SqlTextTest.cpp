#include <gtest/gtest.h>

#include "engine/store/SqlText.h"

namespace vorlix::test {
namespace {

TEST(SqlText, ForeignKeysAreFoundAndCutWhateverTheirForm) {
  const std::string sql =
      "CREATE TABLE \"Or\"\"ders\" (\n"
      "  A INT CONSTRAINT [a fk] REFERENCES P (ID) ON DELETE SET NULL ON UPDATE NO ACTION "
      "NOT NULL,\n"
      "  B TEXT DEFAULT 'x,(y' REFERENCES Q MATCH SIMPLE DEFERRABLE INITIALLY DEFERRED, -- c,(\n"
      "  C INT, /* ( */\n"
      "  PRIMARY KEY (A, C),\n"
      "  CONSTRAINT \"c\"\"k\" FOREIGN KEY (C) REFERENCES R (ID),\n"
      "  FOREIGN KEY (A, C) REFERENCES S\n"
      ") WITHOUT ROWID";
  std::optional<CreateTableSql> t = ParseCreateTable(sql);
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->withoutRowid);
  ASSERT_EQ(t->foreignKeys.size(), 4u);
  EXPECT_EQ(t->foreignKeys[0].name, "a fk");
  EXPECT_EQ(t->foreignKeys[1].name, "");
  EXPECT_EQ(t->foreignKeys[2].name, "c\"k");
  EXPECT_EQ(t->foreignKeys[3].name, "");

  EXPECT_EQ(t->WithoutForeignKey(0, "N"),
            "CREATE TABLE N (\n  A INT NOT NULL,\n"
            "  B TEXT DEFAULT 'x,(y' REFERENCES Q MATCH SIMPLE DEFERRABLE INITIALLY DEFERRED, -- "
            "c,(\n  C INT, /* ( */\n  PRIMARY KEY (A, C),\n"
            "  CONSTRAINT \"c\"\"k\" FOREIGN KEY (C) REFERENCES R (ID),\n"
            "  FOREIGN KEY (A, C) REFERENCES S\n) WITHOUT ROWID");
  const std::string noB = t->WithoutForeignKey(1, "N");
  EXPECT_NE(noB.find("B TEXT DEFAULT 'x,(y', -- c,("), std::string::npos) << noB;
  const std::string noC = t->WithoutForeignKey(2, "N");
  EXPECT_EQ(noC.find("c\"\"k"), std::string::npos);
  EXPECT_NE(noC.find("PRIMARY KEY (A, C),\n  FOREIGN KEY (A, C) REFERENCES S\n)"),
            std::string::npos)
      << noC;
  const std::string noLast = t->WithoutForeignKey(3, "N");
  EXPECT_NE(noLast.find("REFERENCES R (ID)\n)"), std::string::npos) << noLast;
}

TEST(SqlText, NewColumnsGoAfterTheLastColumnAndQuotingDoublesQuotes) {
  std::optional<CreateTableSql> t =
      ParseCreateTable("CREATE TABLE T (A INT, B TEXT(5) CHECK (B <> ','), UNIQUE (A))");
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->withoutRowid);
  EXPECT_EQ(t->WithColumn("C LONG", "\"X\""),
            "CREATE TABLE \"X\" (A INT, B TEXT(5) CHECK (B <> ','), C LONG, UNIQUE (A))");
  EXPECT_FALSE(ParseCreateTable("CREATE TABLE T AS SELECT 1"));
  EXPECT_EQ(QuoteName("a\"b"), "\"a\"\"b\"");  // no table here has a quote in its name
}

}  // namespace
}  // namespace vorlix::test
