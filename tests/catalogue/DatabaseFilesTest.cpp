// Creating and compacting database files beside the connection's own database.
#include <filesystem>

#include "tests/catalogue/CatalogueTestSupport.h"

namespace vorlix::test {
namespace {

class DatabaseFilesTest : public ConnectionTest {
 protected:
  bool CreateDatabase(const std::string& path) {
    return Ok([&](VARIANT_BOOL* r) { return db_.CreateDatabase(B(path), r); });
  }
  bool Compact(const std::string& from, const std::string& to) {
    return Ok([&](VARIANT_BOOL* r) { return db_.Compact(B(from), B(to), r); });
  }
};

TEST_F(DatabaseFilesTest, CreateDatabaseLeavesTheOpenDatabaseAndTheErrorFlagAlone) {
  OpenDatabase();
  EXPECT_TRUE(Table(u"People"));
  EXPECT_FALSE(Table(u"Nowhere"));
  const std::string created = dir_.Path("new.vdb");
  EXPECT_TRUE(CreateDatabase(created));
  EXPECT_TRUE(Error());
  EXPECT_EQ(CurrentTable(), "People");
  // Refused: the file exists now.
  EXPECT_FALSE(CreateDatabase(created));
  EXPECT_EQ(LastCode(), dao_error::kDatabaseExists);
  // The new file is closed, and holds no table of its own.
  ASSERT_EQ(Open(created), B(created));
  Variant tables;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.ListTables(&tables, r); }));
  EXPECT_EQ(Elements(tables), std::vector<std::string>{});
}

TEST_F(DatabaseFilesTest, CompactRefusesTheOpenFileAndAnExistingDestination) {
  OpenDatabase();
  const std::string copy = dir_.Path("copy.vdb");
  EXPECT_FALSE(Compact(path_, copy));
  EXPECT_EQ(LastCode(), dao_error::kFileInUse);
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_TRUE(Table(u"People"));  // the connection's database is untouched

  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_FALSE(CreateDatabase(path_));
  EXPECT_TRUE(Compact(path_, copy));
  EXPECT_FALSE(Error());  // cleared, unlike CreateDatabase
  EXPECT_EQ(Sql(copy, "SELECT count(*) FROM People"), std::vector<std::string>{"3"});
  EXPECT_FALSE(Compact(path_, copy));
  EXPECT_EQ(LastCode(), dao_error::kDatabaseExists);
}

}  // namespace
}  // namespace vorlix::test
