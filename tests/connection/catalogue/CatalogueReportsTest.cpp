// Reports on the open database's tables, fields and indexes.
#include <algorithm>

#include "engine/database/TableDef.h"
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

using Strings = std::vector<std::string>;

class CatalogueReportsTest : public BothStoresTest {
 protected:
  // Reports for Variant-returning methods; *out stays Untouched() unless written.
  bool Report(HRESULT (CDBConnection::*method)(Variant*, VARIANT_BOOL*), Variant* out) {
    return Ok([&](VARIANT_BOOL* result) { return (db_.*method)(out, result); });
  }
  Strings Report(HRESULT (CDBConnection::*method)(Variant*, VARIANT_BOOL*)) {
    Variant out = Untouched();
    EXPECT_TRUE(Report(method, &out));
    return Elements(out);
  }
  // "exists", "missing", or "failed".
  std::string Exist(const char16_t* name) {
    VARIANT_BOOL exists = 7;
    if (!Ok([&](VARIANT_BOOL* result) { return db_.Exist(name, &exists, result); }))
      return "failed";
    return exists == VARIANT_TRUE ? "exists" : exists == VARIANT_FALSE ? "missing" : "?";
  }
  // "required", "optional", or "failed, ..." with what *bRequired then holds.
  std::string Required(const char16_t* table, const char16_t* field) {
    VARIANT_BOOL required = 7;
    const bool ok =
        Ok([&](VARIANT_BOOL* result) { return db_.Required(table, field, &required, result); });
    const std::string value = required == VARIANT_TRUE    ? "required"
                              : required == VARIANT_FALSE ? "optional"
                                                          : "unwritten";
    return ok ? value : "failed, " + value;
  }
  // Staff (ID auto-increment and primary, Name required, text of 30 with a default) holding
  // Ann.
  void DefineStaff() {
    Define(u"Staff",
           {Field(u"ID", dbLong, 0, dbAutoIncrField),
            Field(u"Name", dbText, 30, 0, true, true, u"none")},
           {Index(u"PrimaryKey", {{u"ID", false}}, true, true)},
           {uR"(INSERT INTO "Staff" ("Name") VALUES ('Ann'))"});
  }
};
VORLIX_ON_BOTH_STORES(CatalogueReportsTest);

TEST_P(CatalogueReportsTest, TheListLeavesOutNamesBeginningWithUpperCaseMSWhichExistStillSees) {
  for (const char16_t* name : {u"MSales", u"MS", u"Ms_Data", u"msData", u"M"})
    Define(name, {Field(u"x", dbLong)});
  OpenDatabase();
  EXPECT_EQ(Report(&CDBConnection::ListTables),
            (Strings{"VT_BSTR Empty", "VT_BSTR M", "VT_BSTR Ms_Data", "VT_BSTR msData",
                     "VT_BSTR People"}));
  // The engine's catalog tables are there, by the names a file gives them.
  for (const char16_t* name : {u"MSales", u"MSysInfo", u"People"})
    EXPECT_EQ(Exist(name), "exists") << Bstr(name).Utf8();
  for (const char16_t* name : {u"people", u"Peopl", u"msysinfo"})
    EXPECT_EQ(Exist(name), "missing") << Bstr(name).Utf8();

  EXPECT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_EQ(Exist(u"People"), "failed");
  Variant out = Untouched();
  EXPECT_FALSE(Report(&CDBConnection::ListTables, &out));
  EXPECT_EQ(out, Untouched());
}

// The list is kept between calls only while no one changes the database.
TEST_P(CatalogueReportsTest, TheListFollowsTablesAnotherUserMakesAndDrops) {
  OpenDatabase();
  const Strings before = Report(&CDBConnection::ListTables);
  EXPECT_EQ(Report(&CDBConnection::ListTables), before);
  Define(u"Later", {Field(u"x", dbLong)});
  const Strings with = Report(&CDBConnection::ListTables);
  EXPECT_EQ(with.size(), before.size() + 1);
  EXPECT_NE(std::find(with.begin(), with.end(), "VT_BSTR Later"), with.end());
  EXPECT_EQ(Exist(u"Later"), "exists");
  {
    CDaoDatabase other;
    other.Open(B(path_));
    other.DeleteTableDef(u"Later");
  }
  EXPECT_EQ(Report(&CDBConnection::ListTables), before);
  EXPECT_EQ(Exist(u"Later"), "missing");
}

TEST_P(CatalogueReportsTest, StructureGivesABlankValueByTypeAndNeedsNoRecord) {
  Define(u"Kinds",
         {Field(u"B", dbBoolean), Field(u"Y", dbByte), Field(u"I", dbInteger), Field(u"L", dbLong),
          Field(u"C", dbCurrency), Field(u"S", dbSingle), Field(u"D", dbDouble),
          Field(u"T", dbDate), Field(u"X", dbText, 10), Field(u"M", dbMemo),
          Field(u"N", dbBinary, 8), Field(u"O", dbLongBinary), Field(u"G", dbGUID)});
  OpenDatabase();
  EXPECT_TRUE(Table(u"Kinds"));
  EXPECT_EQ(Report(&CDBConnection::Structure),
            (Strings{"VT_BSTR B", "VT_I4 0",        "VT_BSTR Y", "VT_I4 0",        "VT_BSTR I",
                     "VT_I4 0",   "VT_BSTR L",      "VT_I4 0",   "VT_BSTR C",      "VT_EMPTY",
                     "VT_BSTR S", "VT_R8 0.000000", "VT_BSTR D", "VT_R8 0.000000", "VT_BSTR T",
                     "VT_BSTR ",  "VT_BSTR X",      "VT_BSTR ",  "VT_BSTR M",      "VT_BSTR ",
                     "VT_BSTR N", "VT_EMPTY",       "VT_BSTR O", "VT_EMPTY",       "VT_BSTR G",
                     "VT_EMPTY"}));
  EXPECT_EQ(Report(&CDBConnection::ListIndexes), Strings{});
  // The table is empty: attributes need a record to stand on, and the refusal is unrecorded.
  Variant out = Untouched();
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.GetAttributes(u"B", &out, r); }));
  EXPECT_FALSE(Error());
  EXPECT_EQ(out, Untouched());
}

TEST_P(CatalogueReportsTest, AttributesDescribeOneFieldOfTheCurrentRecord) {
  DefineStaff();
  OpenDatabase();
  EXPECT_TRUE(Table(u"People"));
  EXPECT_EQ(Report(&CDBConnection::ListIndexes), (Strings{"VT_BSTR ByName", "VT_BSTR PrimaryKey"}));
  EXPECT_TRUE(Table(u"Staff"));
  Variant out = Untouched();
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.GetAttributes(u"name", &out, r); }));
  EXPECT_EQ(Elements(out), (Strings{"VT_BSTR strName", "VT_BSTR Name", "VT_BSTR nType", "VT_I2 10",
                                    "VT_BSTR lSize", "VT_I4 30", "VT_BSTR lAttributes", "VT_I4 34",
                                    "VT_BSTR nOrdinalPosition", "VT_I2 1", "VT_BSTR bRequired",
                                    "VT_I2 1", "VT_BSTR bAllowZeroLength", "VT_I2 1",
                                    "VT_BSTR strDefaultValue", "VT_BSTR none"}));
  out = Untouched();
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.GetAttributes(u"Nothing", &out, r); }));
  EXPECT_EQ(LastCode(), dao_error::kItemNotFound);
  EXPECT_EQ(out, Untouched());
  // Off the records at either end there is no current record to ask about: 0, unrecorded.
  Variant record;
  for (int32_t skip : {-1, 2}) {
    EXPECT_FALSE(Skip(skip, &record));
    EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.GetAttributes(u"Name", &out, r); }));
    EXPECT_FALSE(Error());
    EXPECT_EQ(out, Untouched());
  }
}

TEST_P(CatalogueReportsTest, RequiredMakesItsTableCurrentLikeTableButSetsNoIndex) {
  DefineStaff();
  EXPECT_EQ(Required(u"Staff", u"Name"), "unwritten");  // no database: success
  OpenDatabase();
  EXPECT_TRUE(Table(u"People", u"ByName"));
  EXPECT_TRUE(Table(u"Empty"));
  // Open already: it changes places with the head and keeps its index.
  EXPECT_EQ(Required(u"People", u"Name"), "optional");
  EXPECT_EQ(CurrentIndex(), "ByName");
  // Not open: opened at the head with no index.
  EXPECT_EQ(Required(u"Staff", u"NAME"), "required");
  EXPECT_EQ(CurrentIndex(), "");
  // The name is compared exactly: another case opens a second recordset.
  EXPECT_EQ(Required(u"staff", u""), "optional");
  EXPECT_EQ(Required(u"Staff", u"Salary"), "failed, optional");
  EXPECT_EQ(LastCode(), dao_error::kItemNotFound);
  EXPECT_EQ(Required(u"Nowhere", u"Name"), "failed, optional");
  EXPECT_EQ(DrainTables(), (Strings{"Staff", "Staff", "People", "Empty"}));
}

}  // namespace
}  // namespace vorlix::test
