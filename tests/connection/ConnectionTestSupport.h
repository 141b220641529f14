// A connection on a database in a temporary folder, with the calls the tests make often
// shortened to what they return.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/Connection.h"
#include "engine/database/TableDef.h"
#include "engine/recordsets/QueryDef.h"
#include "tests/support/Definitions.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Values.h"

namespace vorlix::test {

// The code of the last failure db recorded.
inline int32_t LastCodeOf(CDBConnection& db) {
  int32_t code = -1;
  Bstr description;
  db.GetLastDAOError(&code, &description);
  return code;
}

class ConnectionTest : public ::testing::Test {
 protected:
  // db.vdb with People (ID, Name, Born; indexes PrimaryKey and ByName) holding Ann (born
  // 1950-02-03), Bob (birth date Null) and Cy in this order, and the empty table Empty.
  void SetUp() override {
    CreateDatabase(path_);
    Sql(path_,
        "CREATE TABLE People (ID COUNTER PRIMARY KEY, Name TEXT(20), Born DATETIME);"
        "CREATE INDEX ByName ON People (Name); INSERT INTO People VALUES"
        " (1, 'Ann', '1950-02-03 00:00:00'), (2, 'Bob', NULL), (3, 'Cy', '1990-12-31 00:00:00');"
        "CREATE TABLE Empty (ID COUNTER PRIMARY KEY)");
  }

  bool Ask(HRESULT (CDBConnection::*method)(VARIANT_BOOL*)) {
    return Ok([&](VARIANT_BOOL* result) { return (db_.*method)(result); });
  }
  bool Error() { return Ask(&CDBConnection::IsDAOError); }
  int32_t LastCode() { return LastCodeOf(db_); }

  Bstr Open(const std::string& path, VARIANT_BOOL exclusive = 0, VARIANT_BOOL readOnly = 0) {
    Bstr result = u"unwritten";
    EXPECT_EQ(db_.Open(B(path), exclusive, readOnly, &result), S_OK);
    return result;
  }
  void OpenDatabase() { ASSERT_EQ(Open(path_), B(path_)); }
  bool Table(const char16_t* name, const char16_t* index = u"") {
    return Ok([&](VARIANT_BOOL* result) { return db_.Table(name, index, result); });
  }
  std::string CurrentTable() {
    Bstr name = u"unwritten";
    db_.GetCurrentTable(&name);
    return name.Utf8();
  }
  std::string CurrentIndex() {
    Bstr index = u"unwritten";
    db_.GetCurrentIndex(&index);
    return index.Utf8();
  }
  // The names of the open tables, head first; closes them all to find out.
  std::vector<std::string> DrainTables() {
    std::vector<std::string> names;
    while (!Ask(&CDBConnection::TableIsReady) && names.size() < 10) {
      names.push_back(CurrentTable());
      Ask(&CDBConnection::CloseCurrentTable);
    }
    return names;
  }

  // Defines a table in the database at path_ through the engine's table definitions, which
  // either store takes (a server takes no SQLite statements), and runs the action statements
  // of rows on it (names quoted, as a server needs them).
  void Define(const char16_t* table, const std::vector<CDaoFieldInfo>& fields,
              const std::vector<CDaoIndexInfo>& indexes = {},
              const std::vector<std::u16string>& rows = {}) {
    CDaoDatabase db;
    db.Open(B(path_));
    CDaoTableDef def(&db);
    def.Create(table);
    for (const CDaoFieldInfo& field : fields)
      def.CreateField(field);
    for (const CDaoIndexInfo& index : indexes)
      def.CreateIndex(index);
    def.Append();
    for (const std::u16string& sql : rows)
      Run(db, sql);
  }
  // Runs the action statement sql on the database at path_ through a database object of its
  // own.
  void Run(const std::u16string& sql) {
    CDaoDatabase db;
    db.Open(B(path_));
    Run(db, sql);
  }
  static void Run(CDaoDatabase& db, const std::u16string& sql) {
    CDaoQueryDef statement(&db);
    statement.Create(Bstr(), Bstr(sql));
    statement.Execute();
  }

  // A navigation method; *array stays as it was when the method does not write it.
  bool Move(HRESULT (CDBConnection::*method)(Variant*, VARIANT_BOOL*), Variant* array) {
    return Ok([&](VARIANT_BOOL* result) { return (db_.*method)(array, result); });
  }
  bool Skip(int32_t count, Variant* array) {
    return Ok([&](VARIANT_BOOL* result) { return db_.Skip(count, array, result); });
  }
  // The value of Name in a record array of People.
  static std::string NameIn(const Variant& record) {
    return record.AsArray().At(3).AsBstr().Utf8();
  }

  TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  // The pauses of db_'s lock-retry policy; a test that meets locks puts its own here.
  Sleeper sleep_ = SleepFor;
  CDBConnection db_{[this](std::chrono::milliseconds pause) { sleep_(pause); }};
};

// Which store a suite that runs on both keeps its database in.
enum class StoreKind { kFile, kServer };

// The name of a new database on this test program's private PostgreSQL cluster (started on
// first use, stopped when the program ends), holding People and Empty as ConnectionTest's
// file does: made through the engine's table definitions, since a server takes no SQLite
// statements, and filled through its recordsets.
std::string NewServerDatabase();

// ConnectionTest on the store of its parameter, at path_ (a file's path or a server's URI).
class BothStoresTest : public ConnectionTest, public ::testing::WithParamInterface<StoreKind> {
 protected:
  void SetUp() override {
    if (GetParam() == StoreKind::kFile) return ConnectionTest::SetUp();
    path_ = NewServerDatabase();
  }
};

inline std::string StoreName(const ::testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::kFile ? "File" : "Server";
}

// Runs the cases of fixture on both stores.
#define VORLIX_ON_BOTH_STORES(fixture)          \
  INSTANTIATE_TEST_SUITE_P(BothStores, fixture, \
                           ::testing::Values(StoreKind::kFile, StoreKind::kServer), StoreName)
// Runs the cases of fixture, a BothStoresTest, on a file alone: for what only a file has (a
// path, its bytes, a link to another file), so that one fixture serves both kinds of case.
#define VORLIX_ON_FILES(fixture) \
  INSTANTIATE_TEST_SUITE_P(File, fixture, ::testing::Values(StoreKind::kFile), StoreName)

// A VT_ARRAY|VT_VARIANT of elements from lower upwards: values, field records or parameter
// pairs as clients send them.
inline Variant VariantArray(std::vector<Variant> elements, int32_t lower = 0) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, lower, std::move(elements)));
}
inline Variant S(std::u16string text) {
  return Variant::Str(std::move(text));
}

// What a method leaves in an out-parameter that it must not write.
inline Variant Untouched() {
  return Variant::Str(u"untouched");
}

}  // namespace vorlix::test
