// Relations made as SQL foreign keys, looked up by name and deleted by table pair or with
// their table.
#include "SchemaTestSupport.h"

namespace vorlix::test {
namespace {

class RelationsTest : public SchemaTest {
 protected:
  // Two unnamed relations from Parent to Child, Grows from Tree to Child, one from Tree to
  // itself.
  void SetUp() override {
    SchemaTest::SetUp();
    // Statements both stores take: quoted names, a type both know.
    for (const char16_t* sql :
         {uR"(CREATE TABLE "Parent" ("ID" int PRIMARY KEY))",
          uR"(CREATE TABLE "Tree" ("ID" int PRIMARY KEY, "Up" int REFERENCES "Tree"))",
          uR"(CREATE TABLE "Child" ("A" int REFERENCES "Parent", "B" int REFERENCES "Parent" ("ID"),
                "T" int, CONSTRAINT "Grows" FOREIGN KEY ("T") REFERENCES "Tree"))",
          uR"(INSERT INTO "Parent" VALUES (1))", uR"(INSERT INTO "Tree" VALUES (1, 1))",
          uR"(INSERT INTO "Child" VALUES (1, 1, 1))"})
      Run(sql);
  }
  // "name:primary->foreign" in the engine's order, as the database holds them.
  std::vector<std::string> Relations() {
    CDaoDatabase file;
    file.Open(B(path_), false, true);
    std::vector<std::string> out;
    for (int i = 0; i < file.GetRelationCount(); ++i) {
      CDaoRelationInfo r;
      file.GetRelationInfo(i, r);
      out.push_back(r.m_strName.Utf8() + ":" + r.m_strTable.Utf8() + "->" +
                    r.m_strForeignTable.Utf8());
    }
    return out;
  }
  bool RelationDelete(const char16_t* table, const char16_t* foreign) {
    return Ok([&](VARIANT_BOOL* r) { return db_.RelationDelete(table, foreign, r); });
  }
  bool DeleteTable(const char16_t* name, VARIANT_BOOL relations) {
    return Ok([&](VARIANT_BOOL* r) { return db_.DeleteTable(name, relations, r); });
  }
  const std::vector<std::string> all_ = {"ParentChild:Parent->Child", "ParentChild1:Parent->Child",
                                         "Grows:Tree->Child", "TreeTree:Tree->Tree"};
};
VORLIX_ON_BOTH_STORES(RelationsTest);

TEST_P(RelationsTest, RelationDeleteTakesEveryRelationFromOneTableToTheOther) {
  ASSERT_EQ(Relations(), all_);
  // Swapped, or in another letter case than the engine reports: nothing matches.
  EXPECT_TRUE(RelationDelete(u"Child", u"Parent"));
  EXPECT_TRUE(RelationDelete(u"parent", u"Child"));
  EXPECT_EQ(Relations(), all_);
  EXPECT_TRUE(RelationDelete(u"Parent", u"Child"));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Relations(), (std::vector<std::string>{"Grows:Tree->Child", "TreeTree:Tree->Tree"}));
  EXPECT_EQ(Rows(uR"(SELECT "A" + "B" + "T" FROM "Child")"), std::vector<std::string>{"VT_I4 3"});
  // Looked up by the engine's rules; a missing one is a plain no.
  VARIANT_BOOL exists = 7;
  for (const char16_t* name : {u"grows", u"ParentChild"}) {
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.RelationExists(name, &exists, r); }));
    EXPECT_EQ(exists, name[0] == u'g' ? VARIANT_TRUE : VARIANT_FALSE);
  }
  EXPECT_FALSE(Error());
}

TEST_P(RelationsTest, DeleteTableTakesTheTablesRelationsOnlyWhenAskedWithMinusOne) {
  // 1 is not -1, and a name in another case gathers nothing: the engine refuses the table.
  EXPECT_FALSE(DeleteTable(u"Tree", 1));
  EXPECT_EQ(LastCode(), dao_error::kPartOfRelation);
  EXPECT_FALSE(DeleteTable(u"tree", VARIANT_TRUE));
  EXPECT_EQ(Relations(), all_);
  EXPECT_TRUE(DeleteTable(u"Tree", VARIANT_TRUE));
  EXPECT_EQ(Relations(),
            (std::vector<std::string>{"ParentChild:Parent->Child", "ParentChild1:Parent->Child"}));
  EXPECT_TRUE(DeleteTable(u"Child", VARIANT_TRUE));
  EXPECT_EQ(Relations(), std::vector<std::string>{});
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Empty", "Parent", "People"}));
}

}  // namespace
}  // namespace vorlix::test
