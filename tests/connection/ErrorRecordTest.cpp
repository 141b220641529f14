// The error record, and which methods clear its flag.
#include <functional>

#include "ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

using ErrorRecordTest = BothStoresTest;
VORLIX_ON_BOTH_STORES(ErrorRecordTest);

TEST_P(ErrorRecordTest, OnlySomeMethodsClearTheFlagAndNoneTheRecord) {
  VARIANT_BOOL b;
  int16_t n;
  int32_t l;
  Bstr s;
  Variant v;
  // Each call succeeds on People, just after a recorded failure.
  const std::vector<std::pair<bool, std::function<void()>>> calls = {
      {true, [&] { db_.StatusIsOk(&b); }},
      {true, [&] { db_.IsDAOError(&b); }},
      {true, [&] { db_.GetLastDAOError(&l, &s); }},
      {true, [&] { db_.GetVorlixVersion(&n); }},
      {true, [&] { db_.IsOpen(&b); }},
      {true, [&] { db_.CanUpdate(&b); }},
      {true, [&] { db_.TableIsReady(&b); }},
      {true, [&] { db_.CloseTable(u"People"); }},
      {true, [&] { db_.GetFieldCount(&n, &b); }},
      {true, [&] { db_.GetFieldName(1, &s, &b); }},
      {true, [&] { db_.GetFieldValue(1, &v, &b); }},
      {false, [&] { db_.Open(B(path_), 0, 0, &s); }},
      {false, [&] { db_.OpenForWrite(B(path_), &b, &b); }},
      {false, [&] { db_.Close(&b); }},
      {false, [&] { db_.GetName(&s); }},
      {false, [&] { db_.ReadOnly(&b); }},
      {false, [&] { db_.Table(u"People", u"", &b); }},
      {false, [&] { db_.CloseCurrentTable(&b); }},
      {false, [&] { db_.CloseAllTables(&b); }},
      {false, [&] { db_.GetCurrentTable(&s); }},
      {false, [&] { db_.GetCurrentIndex(&s); }},
      {false, [&] { db_.GetFieldValueFromName(u"Name", &v, &b); }},
      {false, [&] { db_.Top(&v, &b); }},
      {false, [&] { db_.Bottom(&v, &b); }},
      {false, [&] { db_.Skip(1, &v, &b); }},
      {false, [&] { db_.GetRecord(&v, &b); }},
      {false, [&] { db_.IsEOF(&b); }},
      {false, [&] { db_.IsBOF(&b); }},
      {false, [&] { db_.Count(&l, &b); }},
  };
  EXPECT_EQ(LastCode(), 0);
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    OpenDatabase();
    EXPECT_TRUE(Table(u"People"));
    EXPECT_FALSE(Table(u"Nowhere"));
    calls[i].second();
    EXPECT_EQ(Error(), calls[i].first);
    // Clearing the flag keeps the record of the failure readable.
    int32_t code = 0;
    Bstr description;
    EXPECT_EQ(db_.GetLastDAOError(&code, &description), S_OK);
    EXPECT_EQ(code, dao_error::kNoSuchTable);
    EXPECT_NE(description.Utf8().find("Nowhere"), std::string::npos) << description.Utf8();
  }
  EXPECT_TRUE(Ask(&CDBConnection::StatusIsOk));
}

// A client tells what was missing by the code: a table or saved query 3078, a field, index or
// relation of a collection 3265, an index of the current table 3800 (Table's own codes are in
// OpenTablesTest, a missing field read by name in FieldAccessTest, SQL's in QueriesTest).
TEST_P(ErrorRecordTest, EachKindOfMissingNameHasItsCode) {
  OpenDatabase();
  Variant v;
  const std::vector<std::pair<int32_t, std::function<bool(VARIANT_BOOL*)>>> calls = {
      {dao_error::kNoSuchTable,
       [&](VARIANT_BOOL* r) { return db_.CreateIndex(u"Nowhere", u"Name", 0, 0, r); }},
      {dao_error::kNoSuchTable, [&](VARIANT_BOOL* r) { return db_.DeleteTable(u"Nowhere", 0, r); }},
      {dao_error::kNoSuchTable,
       [&](VARIANT_BOOL* r) { return db_.Query(u"Nothing", VariantArray({}), &v, r); }},
      {dao_error::kItemNotFound,
       [&](VARIANT_BOOL* r) { return db_.CreateIndex(u"People", u"Nothing", 0, 0, r); }},
  };
  ASSERT_TRUE(Table(u"People"));
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(Ok(calls[i].second));
    EXPECT_EQ(LastCode(), calls[i].first);
  }
}

}  // namespace
}  // namespace vorlix::test
