// Late-bound calls on a DBConnection object, through its class object, as clients make them.
#include <gtest/gtest.h>

#include "automation/SafeArray.h"
#include "protocol/VariantCodec.h"
#include "server/ClassFactory.h"
#include "server/ConnectionObject.h"
#include "tests/support/TestFiles.h"

namespace vorlix {
namespace {

class ConnectionDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    void* object = nullptr;
    ASSERT_EQ(factory_.CreateInstance(nullptr, kIDBConnection.iid, &object), S_OK);
    connection_ = static_cast<IDBConnection*>(object);
  }
  void TearDown() override { connection_->Release(); }

  // Invokes the member called name (any letter case) with args; *result_, outs_ and argErr_
  // hold what came back.
  HRESULT Call(const char16_t* name, std::vector<Variant> args) {
    std::vector<DISPID> dispids;
    EXPECT_EQ(connection_->GetIDsOfNames({name}, 1033, &dispids), S_OK);
    return connection_->Invoke(dispids[0], 1033, args, &result_, &outs_, &argErr_);
  }

  ModuleLock lock_;
  ClassFactory<ConnectionObject> factory_{lock_};
  IDBConnection* connection_ = nullptr;
  Variant result_;
  std::vector<Variant> outs_;
  uint32_t argErr_ = 99;
};

TEST_F(ConnectionDispatchTest, UnassignedDispidsAreNotMembers) {
  for (DISPID dispid : {21, 0, 59, -1}) {
    EXPECT_EQ(connection_->Invoke(dispid, 0, {}, &result_, &outs_, &argErr_), DISP_E_MEMBERNOTFOUND)
        << dispid;
  }
}

TEST_F(ConnectionDispatchTest, WrongArgumentsAreRefusedBeforeTheCall) {
  EXPECT_EQ(Call(u"Open", {Variant::Str(u"x.vdb"), Variant::Bool(false)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(u"Open", {Variant::Str(u"x.vdb"), Variant::I4(0), Variant::Str(u"perhaps")}),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr_, 2u);
  EXPECT_EQ(Call(u"Skip", {Variant::R8(1e12), Variant()}), DISP_E_OVERFLOW);
  EXPECT_EQ(argErr_, 0u);
  // Nothing was opened by the refused calls.
  EXPECT_EQ(Call(u"IsOpen", {}), S_OK);
  EXPECT_EQ(result_, Variant::Bool(false));
}

// Append presets required text fields only for a flag of exactly -1. A late-bound 1 is coerced
// to the Boolean -1 first; the same 1 passed to the connection itself is not -1.
TEST_F(ConnectionDispatchTest, ArgumentsAreCoercedToTheDeclaredTypes) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  test::Sql(path, "CREATE TABLE T (ID COUNTER PRIMARY KEY, Name TEXT(10) NOT NULL, Other LONG)");
  ASSERT_EQ(Call(u"Open", {Variant::Str(test::B(path)), Variant::I2(0), Variant::Str(u"0")}), S_OK);
  ASSERT_EQ(Call(u"Table", {Variant::Str(u"T"), Variant::Str(u"")}), S_OK);
  ASSERT_EQ(result_, Variant::Bool(true));
  const Variant values =
      Variant::Array(SafeArray::Vector(VT_VARIANT, 0, {Variant::Str(u"Other"), Variant::I4(5)}));

  VARIANT_BOOL ok = 7;
  Variant stored;
  EXPECT_EQ(
      static_cast<ConnectionObject*>(connection_)->Connection().Append(values, 1, &stored, &ok),
      S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);

  EXPECT_EQ(Call(u"append", {values, Variant::I4(1), Variant()}), S_OK);
  EXPECT_EQ(result_, Variant::Bool(true));
  EXPECT_EQ(test::Sql(path, "SELECT Name, Other FROM T"), std::vector<std::string>{"|5"});
}

// A result-set array is refused before it is built only when no reply could carry it: what the
// budget counts of a result never passes what the result takes on the wire.
TEST_F(ConnectionDispatchTest, OnlyAResultSureNotToFitInAReplyIsRefusedBeforeItIsBuilt) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  test::Sql(path, "CREATE TABLE T (ID COUNTER PRIMARY KEY, [N\u00e4me] TEXT(20), V DOUBLE)");
  test::Sql(path,
            "INSERT INTO T VALUES (1, 'a', 1.5), (2, NULL, NULL), (3, '\u00e9t\u00e9', -2), "
            "(4, '', 0)");
  CDBConnection& db = static_cast<ConnectionObject*>(connection_)->Connection();
  Bstr name;
  ASSERT_EQ(db.Open(test::B(path), VARIANT_FALSE, VARIANT_FALSE, &name), S_OK);
  const auto budget = [&](size_t bytes) {
    db.SetResultBudget({bytes, kLeastVariantBytes, kLeastTextBytes, true});
  };
  VARIANT_BOOL ok = VARIANT_FALSE;
  // Nulls take the least a value can, so there the count is closest to what they take.
  for (const char16_t* sql : {u"SELECT * FROM T", u"SELECT ID AS [\u00fc], V FROM T",
                              u"SELECT NULL AS a, NULL AS bb FROM T", u"SELECT NULL FROM T"}) {
    SCOPED_TRACE(Bstr(sql).Utf8());
    budget(SIZE_MAX);
    Variant all;
    ASSERT_EQ(db.SQL(sql, &all, &ok), S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE);
    // Exactly the room the elements take in a reply, from the first one's start to the last
    // one's end.
    WireWriter wire;
    wire.Open('a', "(qv)");
    for (const Variant& element : all.AsArray().Elements())
      ASSERT_EQ(AppendVariant(wire, element), S_OK);
    wire.Close();
    budget(wire.Bytes().size() - 8);
    Variant again;
    EXPECT_EQ(db.SQL(sql, &again, &ok), S_OK);
    EXPECT_EQ(again, all);
  }
  // No room at all: refused as the reply would be, with nothing recorded, and the connection
  // goes on.
  budget(0);
  Variant none;
  EXPECT_EQ(db.SQL(u"SELECT * FROM T", &none, &ok), E_OUTOFMEMORY);
  EXPECT_EQ(none.vt(), VT_EMPTY);
  EXPECT_EQ(db.IsDAOError(&ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  budget(SIZE_MAX);
  EXPECT_EQ(db.SQL(u"SELECT ID FROM T", &none, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
}

}  // namespace
}  // namespace vorlix
