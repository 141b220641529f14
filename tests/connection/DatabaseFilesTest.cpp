// Creating and compacting database files beside the connection's own database.
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "tests/connection/ConnectionTestSupport.h"

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
  // The locale the file was made or compacted with.
  static std::string Locale(const std::string& file) {
    const std::vector<std::string> rows =
        Sql(file, "SELECT Value FROM MSysInfo WHERE Name = 'Locale'");
    return rows.empty() ? "none" : rows[0];
  }
  static constexpr const char* kGeneralLocale = ";LANGID=0x0409;CP=1252;COUNTRY=0";
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
  EXPECT_EQ(Locale(created), kGeneralLocale);
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
  Sql(path_, "UPDATE MSysInfo SET Value = 'another' WHERE Name = 'Locale'");
  const std::string second = dir_.Path("second.vdb");
  EXPECT_TRUE(Compact(path_, second));
  EXPECT_EQ(Locale(second), kGeneralLocale);
  EXPECT_FALSE(Compact(path_, copy));
  EXPECT_EQ(LastCode(), dao_error::kDatabaseExists);
}

// Every method that takes a file name refuses what is no database file before SQLite sees it,
// and records why: the engine's checks of each kind of name are in tests/engine.
TEST_F(DatabaseFilesTest, EveryMethodTakingAFileNameRefusesWhatIsNoDatabaseFile) {
  const std::string empty = dir_.Path("empty.vdb");
  std::ofstream{empty};
  const std::string cut = path_ + std::string("\0junk", 5);
  const std::vector<std::pair<std::string, int32_t>> names = {
      {"/dev/null", dao_error::kInvalidPath},
      {cut, dao_error::kInvalidPath},
      {empty, dao_error::kNotADatabase},
  };
  const std::string copy = dir_.Path("copy.vdb");
  for (const auto& [name, code] : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Open(name).Utf8(), "*REPAIR*");
    EXPECT_EQ(LastCode(), code);
    VARIANT_BOOL readOnly = 7;
    EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.OpenForWrite(B(name), &readOnly, r); }));
    EXPECT_EQ(readOnly, VARIANT_FALSE);
    EXPECT_EQ(LastCode(), code);
    EXPECT_FALSE(Compact(name, copy));
    EXPECT_EQ(LastCode(), code);

    OpenDatabase();
    VARIANT_BOOL created = 7;
    EXPECT_TRUE(Ok(
        [&](VARIANT_BOOL* r) { return db_.LinkTable(u"Far", B(name), u"People", &created, r); }));
    EXPECT_EQ(created, VARIANT_FALSE);
    EXPECT_EQ(LastCode(), code);
    EXPECT_TRUE(Ask(&CDBConnection::Close));
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  // A new file's name cut at its NUL would make another file.
  const std::string made = dir_.Path("new.vdb");
  EXPECT_FALSE(CreateDatabase(made + std::string("\0.txt", 5)));
  EXPECT_EQ(LastCode(), dao_error::kInvalidPath);
  EXPECT_FALSE(Compact(path_, made + std::string("\0.txt", 5)));
  EXPECT_EQ(LastCode(), dao_error::kInvalidPath);
  EXPECT_FALSE(std::filesystem::exists(made));
}

}  // namespace
}  // namespace vorlix::test
