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
    Sql(path_,
        "CREATE TABLE Parent (ID LONG PRIMARY KEY); CREATE TABLE Tree (ID LONG PRIMARY KEY, Up "
        "LONG REFERENCES Tree); CREATE TABLE Child (A LONG REFERENCES Parent, B LONG "
        "REFERENCES Parent (ID), T LONG, CONSTRAINT Grows FOREIGN KEY (T) REFERENCES Tree);"
        "INSERT INTO Parent VALUES (1); INSERT INTO Tree VALUES (1, 1);"
        "INSERT INTO Child VALUES (1, 1, 1)");
  }
  // "name:primary->foreign" in the engine's order, as the file holds them.
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

TEST_F(RelationsTest, RelationDeleteTakesEveryRelationFromOneTableToTheOther) {
  ASSERT_EQ(Relations(), all_);
  // Swapped, or in another letter case than the engine reports: nothing matches.
  EXPECT_TRUE(RelationDelete(u"Child", u"Parent"));
  EXPECT_TRUE(RelationDelete(u"parent", u"Child"));
  EXPECT_EQ(Relations(), all_);
  EXPECT_TRUE(RelationDelete(u"Parent", u"Child"));
  EXPECT_FALSE(Error());
  EXPECT_EQ(Relations(), (std::vector<std::string>{"Grows:Tree->Child", "TreeTree:Tree->Tree"}));
  EXPECT_EQ(Sql(path_, "SELECT * FROM Child"), std::vector<std::string>{"1|1|1"});
  // Looked up by the engine's rules; a missing one is a plain no.
  VARIANT_BOOL exists = 7;
  for (const char16_t* name : {u"grows", u"ParentChild"}) {
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.RelationExists(name, &exists, r); }));
    EXPECT_EQ(exists, name[0] == u'g' ? VARIANT_TRUE : VARIANT_FALSE);
  }
  EXPECT_FALSE(Error());
}

TEST_F(RelationsTest, DeleteTableTakesTheTablesRelationsOnlyWhenAskedWithMinusOne) {
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
  EXPECT_EQ(Sql(path_, "SELECT name FROM sqlite_schema WHERE name IN ('Tree', 'Child')"),
            std::vector<std::string>{});
}

}  // namespace
}  // namespace vorlix::test
