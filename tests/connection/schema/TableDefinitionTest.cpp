// Which table each method closes, what it leaves in the database, and the methods' results
// without a database.
#include "SchemaTestSupport.h"

namespace vorlix::test {
namespace {

class TableDefinitionTest : public SchemaTest {
 protected:
  bool CreateIndex(const char16_t* table, const char16_t* field, VARIANT_BOOL unique,
                   VARIANT_BOOL primary = 0) {
    return Ok([&](VARIANT_BOOL* r) { return db_.CreateIndex(table, field, unique, primary, r); });
  }
  bool DeleteTable(const char16_t* table) {
    return Ok([&](VARIANT_BOOL* r) { return db_.DeleteTable(table, 0, r); });
  }
  bool RenameTable(const char16_t* from, const char16_t* to) {
    return Ok([&](VARIANT_BOOL* r) { return db_.RenameTable(from, to, r); });
  }
  bool LinkTable(const std::string& file, const char16_t* source, VARIANT_BOOL* created) {
    return Ok([&](VARIANT_BOOL* r) { return db_.LinkTable(u"L", B(file), source, created, r); });
  }
  const Variant field_ = VariantArray({S(u"*RTLB*"), S(u"X"), S(u"LONG"), {}, {}, S(u"*RTLE*")});
};
VORLIX_ON_BOTH_STORES(TableDefinitionTest);
class TableDefinitionOfFiles : public TableDefinitionTest {};
VORLIX_ON_FILES(TableDefinitionOfFiles);

TEST_P(TableDefinitionTest, WithoutADatabaseEveryMethodReportsSuccessAndDoesNothing) {
  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_TRUE(Define(&CDBConnection::CreateTable, "T", field_));
  EXPECT_TRUE(Define(&CDBConnection::ModifyTable, "Empty", field_));
  EXPECT_TRUE(CreateIndex(u"People", u"Born", -1));
  EXPECT_TRUE(RenameTable(u"People", u"P"));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.DeleteTable(u"Empty", -1, r); }));
  VARIANT_BOOL created = 7, exists = 7;
  EXPECT_TRUE(LinkTable(path_, u"People", &created));
  EXPECT_EQ(created, 7);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.RelationExists(u"X", &exists, r); }));
  EXPECT_EQ(exists, VARIANT_FALSE);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.RelationDelete(u"A", u"B", r); }));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Empty", "People"}));
}

TEST_P(TableDefinitionTest, DefiningRenamingAndDeletingCloseTheNamedTableEvenWhenTheyFail) {
  auto open = [&] {
    EXPECT_TRUE(Table(u"People"));
    EXPECT_TRUE(Table(u"Empty"));
  };
  open();
  // CreateIndex closes nothing; any non-zero flag makes the index unique.
  EXPECT_TRUE(CreateIndex(u"People", u"Born", 1));
  EXPECT_TRUE(Define(&CDBConnection::ModifyTable, "People", field_));
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"Empty"});
  open();
  EXPECT_FALSE(Define(&CDBConnection::CreateTable, "Empty", field_));
  EXPECT_EQ(LastCode(), dao_error::kTableExists);
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"People"});
  open();
  EXPECT_FALSE(RenameTable(u"People", u"empty"));
  EXPECT_EQ(LastCode(), dao_error::kObjectExists);
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"Empty"});
  EXPECT_EQ(Shape("People"),
            (std::vector<std::string>{"ID 4 4 auto", "Name 10 20 zero-length", "Born 8 8", "X 4 4",
                                      "Born(Born) unique", "ByName(Name)",
                                      "PrimaryKey(ID) unique primary"}));
  EXPECT_FALSE(CreateIndex(u"People", u"Born", 0));
  EXPECT_EQ(LastCode(), dao_error::kIndexExists);
  EXPECT_TRUE(RenameTable(u"People", u"Persons"));
  EXPECT_EQ(Rows(uR"(SELECT count(*) FROM "Persons")"), std::vector<std::string>{"VT_I4 3"});
  EXPECT_TRUE(Table(u"Persons"));
  EXPECT_TRUE(Table(u"MSysFields"));
  EXPECT_TRUE(Table(u"Empty"));
  EXPECT_FALSE(DeleteTable(u"MSysFields"));
  EXPECT_EQ(LastCode(), dao_error::kReadOnly);
  EXPECT_TRUE(DeleteTable(u"Empty"));
  EXPECT_EQ(DrainTables(), std::vector<std::string>{"Persons"});
}

TEST_P(TableDefinitionTest, CreateIndexMakesAPrimaryIndexForAnyNonZeroFlag) {
  Define(u"Codes", {Field(u"Code", dbText, 5, 0, false, true),
                    Field(u"Label", dbText, 20, 0, false, true), Field(u"Rank", dbLong)});
  EXPECT_TRUE(CreateIndex(u"Codes", u"Code", 0, -1));
  EXPECT_TRUE(CreateIndex(u"Codes", u"Label", 0));
  EXPECT_FALSE(CreateIndex(u"Codes", u"Rank", 0, 1));
  EXPECT_EQ(LastCode(), dao_error::kPrimaryKeyExists);
  EXPECT_EQ(Shape("Codes"),
            (std::vector<std::string>{"Code 10 5 zero-length", "Label 10 20 zero-length",
                                      "Rank 4 4", "Code(Code) unique primary", "Label(Label)"}));
}

TEST_P(TableDefinitionOfFiles, LinkTableReportsItsOutcomeAndTheLinkIsListedLikeATable) {
  const std::string other = dir_.Path("other file.vdb");
  Sql(other, "CREATE TABLE Stock (Item TEXT(10))");
  VARIANT_BOOL created = 7;
  EXPECT_TRUE(LinkTable(other, u"Nothing", &created));
  EXPECT_EQ(created, VARIANT_FALSE);
  EXPECT_EQ(LastCode(), dao_error::kNoSuchTable);
  EXPECT_TRUE(LinkTable(other, u"Stock", &created));
  EXPECT_EQ(created, VARIANT_TRUE);
  EXPECT_FALSE(Error());
  // The path is in the connect string as it was given, space and all.
  EXPECT_EQ(Sql(path_, "SELECT * FROM MSysLinks"),
            std::vector<std::string>{"L|;DATABASE=" + other + "|Stock"});
  Variant tables;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.ListTables(&tables, r); }));
  EXPECT_EQ(Elements(tables),
            (std::vector<std::string>{"VT_BSTR Empty", "VT_BSTR L", "VT_BSTR People"}));
  VARIANT_BOOL exists = 7;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Exist(u"L", &exists, r); }));
  EXPECT_EQ(exists, VARIANT_TRUE);
}

// A link between a file and a database on a server is refused either way, before anything is
// recorded: a link that could never be read is not made.
TEST_P(TableDefinitionOfFiles, LinksBetweenAFileAndAServerDatabaseAreRefused) {
  const std::string file = path_, server = NewServerDatabase();
  VARIANT_BOOL created = 7, exists = 7;
  EXPECT_TRUE(LinkTable(server, u"People", &created));
  EXPECT_EQ(created, VARIANT_FALSE);
  EXPECT_EQ(LastCode(), dao_error::kInvalidOperation);
  path_ = server;
  OpenDatabase();
  created = 7;
  EXPECT_TRUE(LinkTable(file, u"People", &created));
  EXPECT_EQ(created, VARIANT_FALSE);
  EXPECT_EQ(LastCode(), dao_error::kInvalidOperation);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.Exist(u"L", &exists, r); }));
  EXPECT_EQ(exists, VARIANT_FALSE);
}

}  // namespace
}  // namespace vorlix::test
