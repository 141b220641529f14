// The open-table list: which table is current, and how tables enter and leave it.
#include "ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

class OpenTablesTest : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    for (const char16_t* name : {u"P", u"Q", u"R"})
      Define(name, {Field(u"x", dbLong)});
    OpenDatabase();
  }
  void OpenTables(std::initializer_list<const char16_t*> names) {
    for (const char16_t* name : names)
      EXPECT_TRUE(Table(name));
  }
};
VORLIX_ON_BOTH_STORES(OpenTablesTest);

TEST_P(OpenTablesTest, MakingATableCurrentAgainSwapsItWithTheHead) {
  OpenTables({u"People", u"R", u"Q", u"P"});
  // P, Q, R, People with P current: R changes places with P.
  EXPECT_TRUE(Table(u"R"));
  EXPECT_EQ(DrainTables(), (std::vector<std::string>{"R", "Q", "P", "People"}));
  // The last of the list is found like any other, not opened a second time; a name in
  // another case is not found, and opens a second recordset.
  OpenTables({u"People", u"R", u"Q", u"P", u"People", u"PEOPLE"});
  EXPECT_EQ(DrainTables(), (std::vector<std::string>{"People", "People", "Q", "R", "P"}));
}

TEST_P(OpenTablesTest, EachTableKeepsItsPositionAndIndex) {
  EXPECT_TRUE(Table(u"People", u"ByName"));
  Variant record;
  EXPECT_TRUE(Skip(2, &record));
  // Back to People with no index named, then with the index it has: neither moves it.
  OpenTables({u"P", u"People"});
  EXPECT_TRUE(Table(u"People", u"ByName"));
  EXPECT_TRUE(Move(&CDBConnection::GetRecord, &record));
  EXPECT_EQ(NameIn(record), "Cy");
  EXPECT_EQ(CurrentIndex(), "ByName");
}

TEST_P(OpenTablesTest, EngineFailuresAreRecorded) {
  OpenTables({u"P"});
  EXPECT_FALSE(Table(u"Nowhere"));
  EXPECT_EQ(LastCode(), dao_error::kNoSuchTable);
  // A missing index leaves the table open and current.
  EXPECT_FALSE(Table(u"People", u"NoIndex"));
  EXPECT_EQ(LastCode(), dao_error::kNotAnIndex);
  EXPECT_EQ(DrainTables(), (std::vector<std::string>{"People", "P"}));
}

TEST_P(OpenTablesTest, ClosingTablesAndTablesWithoutADatabase) {
  EXPECT_FALSE(Ask(&CDBConnection::CloseCurrentTable));
  OpenTables({u"R", u"Q", u"P"});
  db_.CloseTable(u"Q");
  db_.CloseTable(u"r");
  EXPECT_EQ(DrainTables(), (std::vector<std::string>{"P", "R"}));
  OpenTables({u"Q", u"P"});
  EXPECT_TRUE(Ask(&CDBConnection::CloseAllTables));
  EXPECT_TRUE(Ask(&CDBConnection::TableIsReady));
  EXPECT_TRUE(Ask(&CDBConnection::IsOpen));
  // Without a database Table reports success and opens nothing.
  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_TRUE(Table(u"People"));
  EXPECT_TRUE(Ask(&CDBConnection::TableIsReady));
  EXPECT_EQ(CurrentTable(), "");
}

}  // namespace
}  // namespace vorlix::test
