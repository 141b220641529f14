// A client's working session through the real server and the typed proxies: every parameter
// type in and out (text, Boolean, short, long, VARIANT), a failure's error record, a refused
// positional read answering S_FALSE, with every value checked as the client gets it, its
// VARIANT type included. The in-process suites test each method's corners, and every method's
// proxy is made from the same table by the same code.
#include <gtest/gtest.h>

#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/Values.h"

namespace vorlix {
namespace {

using test::B;
using test::Elements;
using test::Ok;
using test::Show;
using Strings = std::vector<std::string>;

class SessionTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Register());
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db_), S_OK);
  }
  void TearDown() override {
    db_.reset();
    EXPECT_TRUE(folder_.ServerEnded());
  }
  void OpenNew(const std::string& file) {
    ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->CreateDatabase(B(file), r); }));
    Bstr name;
    ASSERT_EQ(db_->Open(B(file), VARIANT_FALSE, VARIANT_FALSE, &name), S_OK);
    ASSERT_EQ(name.Utf8(), file);
  }
  bool Command(const std::string& sql) {
    return Ok([&](VARIANT_BOOL* r) { return db_->Command(B(sql), r); });
  }
  bool Table(const std::string& table, const std::string& index = "") {
    return Ok([&](VARIANT_BOOL* r) { return db_->Table(B(table), B(index), r); });
  }
  // The error code a failed call left, "none" while the flag is clear.
  std::string LastError() {
    VARIANT_BOOL error = 0;
    EXPECT_EQ(db_->IsDAOError(&error), S_OK);
    int32_t code = 0;
    Bstr description;
    EXPECT_EQ(db_->GetLastDAOError(&code, &description), S_OK);
    return error ? std::to_string(code) + " " + description.Utf8() : "none";
  }
  // The elements of the array a method answers; "failed" and what came instead when it
  // answers false.
  template <typename Call>
  Strings Answer(Call call) {
    Variant out;
    return Ok([&](VARIANT_BOOL* r) { return call(&out, r); }) ? Elements(out)
                                                              : Strings{"failed", Show(out)};
  }

  test::TempDir files_;  // after the server has gone, its files pass the shell's check
  test::ServerFolder folder_;
  std::unique_ptr<DBConnection> db_;
};

TEST_F(SessionTest, ConnectionOpensReadsFieldsRecordsAndFailures) {
  const std::string file = files_.Path("people.vdb");
  OpenNew(file);
  ASSERT_TRUE(Command(
      "CREATE TABLE People (ID COUNTER PRIMARY KEY, Name TEXT(20), Born DATETIME, Score DOUBLE)"));
  ASSERT_TRUE(
      Command("INSERT INTO People (Name, Born, Score) VALUES ('Ann', '1950-02-03 00:00:00', 1.5), "
              "('Zoë', NULL, 2)"));

  ASSERT_TRUE(Table("People"));
  Bstr name;
  int16_t count = 0;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->GetFieldCount(&count, r); }));
  EXPECT_EQ(count, 4);
  Strings fields;
  for (int16_t i = 0; i < count; ++i) {
    Variant value;
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->GetFieldName(i, &name, r); }));
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->GetFieldValue(i, &value, r); }));
    fields.push_back(name.Utf8() + " " + Show(value));
  }
  EXPECT_EQ(fields, (Strings{"ID VT_I4 1", "Name VT_BSTR Ann", "Born VT_DATE 18297.000000",
                             "Score VT_R8 1.500000"}));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Skip(1, out, r); }).at(3),
            "VT_BSTR Zoë");
  Variant born = Variant::Str(u"unwritten");
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->GetFieldValueFromName(u"born", &born, r); }));
  EXPECT_EQ(Show(born), "VT_NULL");

  // A failure is in the error record until a method clears the flag; a positional read that
  // the engine refuses answers S_FALSE, and what it did not write arrives as the wire's
  // initial value.
  EXPECT_FALSE(Table("Nowhere"));
  EXPECT_EQ(LastError(), "3078 There is no table 'Nowhere'.");
  VARIANT_BOOL ok = 7;
  Variant value;
  EXPECT_EQ(db_->GetFieldValue(9, &value, &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(Show(value), "VT_EMPTY");
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->CloseAllTables(r); }));
  EXPECT_EQ(LastError(), "none");

  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Close(r); }));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_->IsOpen(r); }));
  const std::string copy = files_.Path("copy.vdb");
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Compact(B(file), B(copy), r); }));
  EXPECT_EQ(test::Sql(copy, "SELECT count(*) FROM People"), Strings{"2"});
}

}  // namespace
}  // namespace vorlix
