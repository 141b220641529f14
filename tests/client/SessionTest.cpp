// A client's working sessions through the real server, one for each group of methods: open,
// define, write, seek, report, query and close, with every value checked as the client gets
// it, its VARIANT type included. The in-process suites test each method's corners; these test
// that the methods work together over the wire.
#include <gtest/gtest.h>

#include "automation/SafeArray.h"
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

Variant Array(std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
}
Variant S(const std::string& text) {
  return Variant::Str(*Bstr::FromUtf8(text));
}

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
  // A new database file, open on db_.
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
  int16_t version = 0;
  EXPECT_EQ(db_->GetVorlixVersion(&version), S_OK);
  EXPECT_EQ(version, 1);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->StatusIsOk(r); }));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_->IsOpen(r); }));
  const std::string file = files_.Path("people.vdb");
  OpenNew(file);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->CanUpdate(r); }));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_->ReadOnly(r); }));
  ASSERT_TRUE(Command(
      "CREATE TABLE People (ID COUNTER PRIMARY KEY, Name TEXT(20), Born DATETIME, Score DOUBLE)"));
  ASSERT_TRUE(
      Command("INSERT INTO People (Name, Born, Score) VALUES ('Ann', '1950-02-03 00:00:00', 1.5), "
              "('Zoë', NULL, 2)"));

  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->TableIsReady(r); }));
  ASSERT_TRUE(Table("People"));
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_->TableIsReady(r); }));
  Bstr name;
  EXPECT_EQ(db_->GetCurrentTable(&name), S_OK);
  EXPECT_EQ(name.Utf8(), "People");
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
  Variant born = S("unwritten");
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

TEST_F(SessionTest, RecordsAreAppendedWalkedSoughtReplacedAndDeleted) {
  OpenNew(files_.Path("names.vdb"));
  ASSERT_TRUE(
      Command("CREATE TABLE Names (ID COUNTER PRIMARY KEY, Name TEXT(20) NOT NULL, City TEXT(20), "
              "Born DATETIME)"));
  ASSERT_TRUE(Command("CREATE INDEX ByName ON Names (Name)"));
  ASSERT_TRUE(Command("CREATE INDEX ByCity ON Names (City, Name)"));
  ASSERT_TRUE(Table("Names", "ByName"));
  const Strings stored = Answer([&](Variant* out, VARIANT_BOOL* r) {
    return db_->Append(
        Array({S("Name"), S("zoë"), S("City"), S("Oslo"), S("Born"), Variant::Date(18297.5)}), 0,
        out, r);
  });
  EXPECT_EQ(stored, (Strings{"VT_BSTR ID", "VT_I4 1", "VT_BSTR Name", "VT_BSTR zoë", "VT_BSTR City",
                             "VT_BSTR Oslo", "VT_BSTR Born", "VT_DATE 18297.500000"}));
  for (const char* name : {"Émile", "Ann", "école"}) {
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) {
      Variant out;
      return db_->Append(Array({S("Name"), S(name), S("City"), S("Bergen")}), 0, &out, r);
    }));
  }
  int32_t records = 0;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Count(&records, r); }));
  EXPECT_EQ(records, 4);

  // The index orders letters with accents next to their base letters, whatever their case.
  auto name = [&](Strings record) { return record.size() > 3 ? record[3] : record.at(0); };
  EXPECT_EQ(name(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Top(out, r); })),
            "VT_BSTR Ann");
  Strings walked;
  for (int step = 0; step < 3; ++step)
    walked.push_back(
        name(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Skip(1, out, r); })));
  EXPECT_EQ(walked, (Strings{"VT_BSTR école", "VT_BSTR Émile", "VT_BSTR zoë"}));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Skip(1, out, r); }),
            (Strings{"failed", "VT_EMPTY"}));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->IsEOF(r); }));

  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Seek(S("ZOË"), out, r); }),
            stored);
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Seek(S("Zed"), out, r); }),
            (Strings{"failed", "VT_EMPTY"}));
  EXPECT_EQ(LastError(), "none");
  ASSERT_TRUE(Table("Names", "ByCity"));
  EXPECT_EQ(name(Answer([&](Variant* out, VARIANT_BOOL* r) {
              return db_->Seek2(S("BERGEN"), S("ÉMILE"), out, r);
            })),
            "VT_BSTR Émile");

  const Strings replaced = Answer([&](Variant* out, VARIANT_BOOL* r) {
    return db_->Replace(Array({S("City"), S("Rome"), S("Born"), Variant::Null()}), out, r);
  });
  EXPECT_EQ(replaced, (Strings{"VT_BSTR ID", "VT_I4 2", "VT_BSTR Name", "VT_BSTR Émile",
                               "VT_BSTR City", "VT_BSTR Rome", "VT_BSTR Born", "VT_NULL"}));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Delete(r); }));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Count(&records, r); }));
  EXPECT_EQ(records, 3);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Close(r); }));
}

TEST_F(SessionTest, SchemaDefinesModifiesIndexesRenamesLinksAndDeletesTables) {
  const std::string other = files_.Path("suppliers.vdb");
  OpenNew(other);
  ASSERT_TRUE(Command("CREATE TABLE Suppliers (Code TEXT(5), Name TEXT(30))"));
  ASSERT_TRUE(Command("INSERT INTO Suppliers VALUES ('N1', 'Nuts Ltd')"));
  OpenNew(files_.Path("stock.vdb"));

  const Variant begin = S("*RTLB*"), end = S("*RTLE*"), yes = Variant::Bool(true), none;
  // An auto-increment key, and a required text with a unique index.
  const Variant stock = Array({begin, S("ID"), S("LONG"), none, none, S("I"), yes, yes, end, begin,
                               S("Item"), S("TEXT"), Variant::I4(20), yes, none, S("X"), yes, end});
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->CreateTable(u"Stock", stock, r); }));
  const Variant more = Array({begin, S("Qty"), S("INT"), none, S("0"), end});
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->ModifyTable(u"Stock", more, r); }));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->CreateIndex(u"Stock", u"Qty", 0, 0, r); }));
  ASSERT_TRUE(Table("Stock"));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->ListIndexes(out, r); }),
            (Strings{"VT_BSTR ID", "VT_BSTR Item", "VT_BSTR Qty"}));
  EXPECT_EQ(
      Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->Structure(out, r); }),
      (Strings{"VT_BSTR ID", "VT_I4 0", "VT_BSTR Item", "VT_BSTR ", "VT_BSTR Qty", "VT_I4 0"}));
  VARIANT_BOOL created = 7;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_->LinkTable(u"Makers", B(other), u"Suppliers", &created, r);
  }));
  EXPECT_EQ(created, VARIANT_TRUE);
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) {
              return db_->SQL(u"SELECT Name FROM Makers WHERE Code = 'n1'", out, r);
            }),
            Strings{"VT_BSTR Nuts Ltd"});

  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->RenameTable(u"Stock", u"Goods", r); }));
  ASSERT_TRUE(
      Command("CREATE TABLE Orders (Item TEXT(20), CONSTRAINT OrderedGoods FOREIGN KEY "
              "(Item) REFERENCES Goods (Item))"));
  VARIANT_BOOL exists = 7;
  EXPECT_TRUE(
      Ok([&](VARIANT_BOOL* r) { return db_->RelationExists(u"OrderedGoods", &exists, r); }));
  EXPECT_EQ(exists, VARIANT_TRUE);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->DeleteTable(u"Goods", -1, r); }));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->ListTables(out, r); }),
            (Strings{"VT_BSTR Makers", "VT_BSTR Orders"}));
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Close(r); }));
}

TEST_F(SessionTest, CatalogueReportsAndQueriesAnswerInArrays) {
  OpenNew(files_.Path("towns.vdb"));
  ASSERT_TRUE(Command("CREATE TABLE Towns (Name TEXT(20) NOT NULL, City TEXT(20), Pop LONG)"));
  int32_t added = 0;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_->CommandWithRecords(
        u"INSERT INTO Towns VALUES ('Ann', 'Oslo', 10), ('Bob', 'Ålesund', 20), "
        u"('Cy', 'oslo', 30)",
        &added, r);
  }));
  EXPECT_EQ(added, 3);
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) { return db_->ListTables(out, r); }),
            Strings{"VT_BSTR Towns"});
  VARIANT_BOOL exists = 7, required = 7;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Exist(u"towns", &exists, r); }));
  EXPECT_EQ(exists, VARIANT_FALSE);  // compared exactly
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Required(u"Towns", u"Name", &required, r); }));
  EXPECT_EQ(required, VARIANT_TRUE);
  Variant record;
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Top(&record, r); }));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) {
              return db_->GetAttributes(u"Pop", out, r);
            }).at(1),
            "VT_BSTR Pop");

  // Text compares without regard to case, beyond ASCII too.
  EXPECT_EQ(
      Answer([&](Variant* out, VARIANT_BOOL* r) {
        return db_->SQL(u"SELECT Name, Pop FROM Towns WHERE City = 'OSLO' ORDER BY Name", out, r);
      }),
      (Strings{"VT_BSTR *NewRecord*", "VT_BSTR Name", "VT_BSTR Ann", "VT_BSTR Pop", "VT_I4 10",
               "VT_BSTR *NewRecord*", "VT_BSTR Name", "VT_BSTR Cy", "VT_BSTR Pop", "VT_I4 30"}));

  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_->CreateQuery(
        u"InCity", u"PARAMETERS [City] Text(255); SELECT Name FROM Towns WHERE City = [City]", r);
  }));
  EXPECT_EQ(Answer([&](Variant* out, VARIANT_BOOL* r) {
              return db_->Query(u"InCity", Array({S("City"), S("ÅLESUND")}), out, r);
            }),
            Strings{"VT_BSTR Bob"});
  int32_t updated = 0;
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_->CommandWithRecords(u"UPDATE Towns SET Pop = Pop + 1 WHERE City = 'OSLO'", &updated,
                                   r);
  }));
  EXPECT_EQ(updated, 2);
  EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_->Close(r); }));
}

}  // namespace
}  // namespace vorlix
