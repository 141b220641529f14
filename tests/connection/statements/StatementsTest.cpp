// Statements with bound parameters, cursors and the connection's transaction, on either store.
// Statements both stores take quote their names: a server folds unquoted ones to lower case.
#include <string>
#include <vector>

#include "automation/SafeArray.h"
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

using Strings = std::vector<std::string>;

Variant Params(std::vector<Variant> values) {
  return VariantArray(std::move(values));
}

// A fetched batch: each column's array type and shown elements, and its null mask.
struct Batch {
  int32_t rows = -1;
  Strings types;
  std::vector<Strings> values;
  std::vector<std::vector<uint8_t>> nulls;  // empty for a column without Nulls
};

class StatementsTest : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    OpenDatabase();
  }

  // Execute on db; the outs keep -1 unless written.
  bool Execute(CDBConnection& db, const char16_t* sql, const Variant& params,
               int32_t* affected = nullptr, int64_t* rowId = nullptr) {
    int32_t count = -1, id = -1;
    Variant lastRowId, columns;
    const bool ok = Ok([&](VARIANT_BOOL* r) {
      return db.Execute(sql, params, &count, &lastRowId, &id, &columns, r);
    });
    if (affected) *affected = count;
    if (rowId) *rowId = lastRowId.vt() == VT_I8 ? lastRowId.AsSigned() : -1;
    return ok;
  }
  bool Execute(const char16_t* sql, const Variant& params = Variant()) {
    return Execute(db_, sql, params);
  }
  // A cursor's id, 0 when OpenCursor fails; *columns gets the description.
  int32_t OpenCursor(const char16_t* sql, const Variant& params = Variant(),
                     Variant* columns = nullptr) {
    int32_t cursor = 0;
    Variant described;
    if (!Ok([&](VARIANT_BOOL* r) { return db_.OpenCursor(sql, params, &cursor, &described, r); }))
      return 0;
    if (columns) *columns = described;
    return cursor;
  }
  // rows -1 when Fetch fails.
  Batch Fetch(int32_t cursor, int32_t n) {
    Batch batch;
    Variant columns, nulls;
    int32_t rows = -1;
    if (!Ok([&](VARIANT_BOOL* r) { return db_.Fetch(cursor, n, &columns, &nulls, &rows, r); }))
      return batch;
    batch.rows = rows;
    for (const Variant& column : columns.AsArray().Elements()) {
      batch.types.push_back(VarTypeName(column.vt()));
      batch.values.push_back(column.vt() == (VT_ARRAY | VT_UI1) ? Strings{"bytes"}
                                                                : Elements(column));
    }
    for (const Variant& mask : nulls.AsArray().Elements())
      batch.nulls.push_back(mask.IsArray() ? mask.AsArray().Bytes() : std::vector<uint8_t>());
    return batch;
  }
  // The single value of a one-row, one-column query, read through a cursor of db.
  std::string Single(const char16_t* sql, const Variant& params = Variant()) {
    const int32_t cursor = OpenCursor(sql, params);
    Batch batch = Fetch(cursor, 2);
    db_.CloseCursor(cursor, &closed_);
    return batch.rows == 1 ? batch.values[0][0] : "rows: " + std::to_string(batch.rows);
  }
  // People's row count as a second connection sees it.
  static std::string CountSeenBy(CDBConnection& other) {
    Variant rows;
    VARIANT_BOOL ok = 0;
    other.SQL(uR"(SELECT count(*) FROM "People")", &rows, &ok);
    return ok ? Elements(rows)[0] : "failed";
  }
  Bstr OpenOther(CDBConnection& other) {
    Bstr name;
    other.Open(B(path_), 0, 0, &name);
    return name;
  }

  VARIANT_BOOL closed_ = 0;
};
VORLIX_ON_BOTH_STORES(StatementsTest);
class StatementsOnFiles : public StatementsTest {};
VORLIX_ON_FILES(StatementsOnFiles);

TEST_P(StatementsTest, ParametersAreBoundNeverWrittenIntoTheText) {
  int32_t affected = 0;
  int64_t rowId = 0;
  // Short enough for Name, with the "!" added below: a server keeps a Text to its size.
  const Variant hostile = S(u"');DROP TABLE Empty");
  ASSERT_TRUE(Execute(db_, uR"(INSERT INTO "People" ("Name", "Born") VALUES (?, ?))",
                      Params({hostile, Variant::Date(2.5)}), &affected, &rowId));
  EXPECT_EQ(affected, 1);
  EXPECT_EQ(rowId, 4);
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 4");
  // Named places by name with or without the prefix, in any order, "?" places in order.
  EXPECT_EQ(Single(uR"(SELECT "Name" FROM "People" WHERE "ID" = :id AND "Born" > @after)",
                   Params({S(u"@after"), Variant::Date(1), S(u"id"), Variant::I4(4)})),
            "VT_BSTR ');DROP TABLE Empty");
  EXPECT_EQ(Single(uR"(SELECT "Born" FROM "People" WHERE "Name" = ?)", Params({hostile})),
            "VT_DATE 2.500000");
  // A definition answers no rows and leaves the last row id the client's, not the catalog's.
  ASSERT_TRUE(Execute(db_, uR"(CREATE TABLE "Other" ("X" int))", Variant(), &affected, &rowId));
  EXPECT_EQ(affected, 0);
  EXPECT_EQ(rowId, 4);
  ASSERT_TRUE(
      Execute(db_, uR"(UPDATE "People" SET "Name" = "Name" || ?)", Params({S(u"!")}), &affected));
  EXPECT_EQ(affected, 4);
}

// A server types a parameter by where it stands, and has no type for one added to another.
TEST_P(StatementsOnFiles, EachVarTypeBindsAsItsFieldTypeKeepsIt) {
  // A Currency compares as the stored number, a Boolean as -1/0 ... and a whole number
  // beyond 32 bits stays whole.
  EXPECT_EQ(Single(u"SELECT ? + ? + ?", Params({Variant::Currency(25000), Variant::Bool(true),
                                                Variant::Signed(VT_I8, int64_t{1} << 40)})),
            "VT_R8 " + std::to_string(2.5 + 1 + 1099511627776.0));
}

TEST_P(StatementsTest, MistakesAreRecordedAndRunNothing) {
  const char16_t* insert = uR"(INSERT INTO "People" ("Name") VALUES (?))";
  const char16_t* named = uR"(INSERT INTO "People" ("Name") VALUES (:n))";
  struct Case {
    const char16_t* sql;
    Variant params;
    int32_t code;
  } cases[] = {
      {insert, Variant(), 3061},
      {insert, Params({S(u"a"), S(u"b")}), 3001},
      {insert, S(u"not an array"), 3001},
      {insert, Params({Params({Variant::I4(1)})}), 3421},
      {named, Params({S(u"m"), S(u"a")}), 3265},
      {named, Params({S(u"n")}), 3001},
      {named, Params({Variant::I4(1), S(u"a")}), 3001},
      {u"BEGIN", Variant(), 3219},
      {uR"(SELECT * FROM "Nowhere")", Variant(), 3078},
      {uR"(DELETE FROM "People"; DELETE FROM "Empty")", Variant(), 3075},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Bstr(c.sql).Utf8() + " " + Show(c.params));
    EXPECT_FALSE(Execute(c.sql, c.params));
    EXPECT_TRUE(Error());
    EXPECT_EQ(LastCode(), c.code);
  }
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 3");
  // Without a database nothing runs, and the record says why.
  ASSERT_TRUE(Ask(&CDBConnection::Close));
  EXPECT_FALSE(Execute(u"SELECT 1"));
  EXPECT_EQ(LastCode(), 3219);
}

TEST_P(StatementsTest, CursorsDescribeTheirColumnsAndFetchTypedColumnsWithNullMasks) {
  Variant columns;
  const int32_t cursor = OpenCursor(
      uR"(SELECT "ID", "Name", "Born", "Name" || '!' AS "Shout" FROM "People" ORDER BY "ID")",
      Variant(), &columns);
  ASSERT_NE(cursor, 0);
  const auto& described = columns.AsArray().Elements();
  ASSERT_EQ(described.size(), 4u);
  EXPECT_EQ(Elements(described[1]),
            (Strings{"VT_BSTR Name", "VT_I2 8", "VT_BSTR TEXT(20)", "VT_I4 20", "VT_BOOL -1"}));
  EXPECT_EQ(Elements(described[2])[1], "VT_I2 7");
  EXPECT_EQ(Elements(described[3]),
            (Strings{"VT_BSTR Shout", "VT_I2 12", "VT_BSTR ", "VT_I4 0", "VT_BOOL -1"}));
  // A column declared NOT NULL is described so.
  ASSERT_TRUE(Execute(uR"(CREATE TABLE "Required" ("X" int NOT NULL))"));
  OpenCursor(uR"(SELECT "X" FROM "Required")", Variant(), &columns);
  EXPECT_EQ(Elements(columns.AsArray().At(0))[4], "VT_BOOL 0");

  Batch first = Fetch(cursor, 2);
  EXPECT_EQ(first.rows, 2);
  EXPECT_EQ(first.types, (Strings{"VT_ARRAY|VT_I4", "VT_ARRAY|VT_BSTR", "VT_ARRAY|VT_DATE",
                                  "VT_ARRAY|VT_BSTR"}));
  EXPECT_EQ(first.values[1], (Strings{"VT_BSTR Ann", "VT_BSTR Bob"}));
  // Bob's birth date is Null: the typed array holds a zero there and the mask marks it.
  EXPECT_EQ(first.values[2][1], "VT_DATE 0.000000");
  EXPECT_EQ(first.nulls, (std::vector<std::vector<uint8_t>>{{}, {}, {0, 1}, {}}));
  EXPECT_EQ(Fetch(cursor, 2).rows, 1);
  Batch end = Fetch(cursor, 2);
  EXPECT_EQ(end.rows, 0);
  EXPECT_EQ(end.types, (Strings{"VT_ARRAY|VT_VARIANT", "VT_ARRAY|VT_VARIANT", "VT_ARRAY|VT_VARIANT",
                                "VT_ARRAY|VT_VARIANT"}));
}

// A server's column has one type.
TEST_P(StatementsOnFiles, ValuesOfDifferentTypesInOneColumnGoAsVariants) {
  const int32_t mixed = OpenCursor(u"SELECT 1 UNION ALL SELECT 'a' UNION ALL SELECT X'00'");
  Batch batch = Fetch(mixed, 10);
  EXPECT_EQ(batch.types, (Strings{"VT_ARRAY|VT_VARIANT"}));
  EXPECT_EQ(batch.values[0], (Strings{"VT_I4 1", "VT_BSTR a", "VT_ARRAY|VT_UI1"}));
}

TEST_P(StatementsTest, ACursorStepsAsItIsFetchedOverItsOwnSnapshot) {
  std::vector<Variant> rows;
  for (int32_t i = 0; i < 2500; ++i)
    rows.push_back(Params({Variant::I4(100 + i)}));
  int32_t added = 0;
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.ExecuteMany(uR"(INSERT INTO "People" ("ID") VALUES (?))", VariantArray(rows), &added,
                           r);
  }));
  EXPECT_EQ(added, 2500);
  const int32_t cursor =
      OpenCursor(uR"(SELECT "ID" FROM "People" WHERE "ID" >= 100 ORDER BY "ID")");
  Batch first = Fetch(cursor, 1000);
  ASSERT_EQ(first.rows, 1000);
  EXPECT_EQ(first.values[0].back(), "VT_I4 1099");
  // Another user deletes every row meanwhile; the cursor reads on in what it began with.
  CDBConnection other;
  ASSERT_EQ(OpenOther(other), B(path_));
  VARIANT_BOOL ok = 0;
  other.Command(uR"(DELETE FROM "People")", &ok);
  ASSERT_EQ(ok, VARIANT_TRUE);
  Batch second = Fetch(cursor, 1000);
  EXPECT_EQ(second.rows, 1000);
  EXPECT_EQ(second.values[0].front(), "VT_I4 1100");
  Batch last = Fetch(cursor, 1000);
  EXPECT_EQ(last.rows, 500);
  EXPECT_EQ(last.values[0].back(), "VT_I4 2599");
}

TEST_P(StatementsTest, CursorsEndWithCloseCursorAndWithTheirDatabase) {
  const int32_t cursor = OpenCursor(uR"(SELECT "Name" FROM "People")");
  ASSERT_NE(cursor, 0);
  EXPECT_EQ(Fetch(cursor, 0).rows, -1);
  EXPECT_EQ(LastCode(), 3001);
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.CloseCursor(cursor, r); }));
  EXPECT_EQ(Fetch(cursor, 1).rows, -1);
  EXPECT_EQ(LastCode(), 3001);
  EXPECT_FALSE(Ok([&](VARIANT_BOOL* r) { return db_.CloseCursor(cursor, r); }));
  // A statement without rows is no cursor, and is not run.
  EXPECT_EQ(OpenCursor(uR"(DELETE FROM "People")"), 0);
  EXPECT_EQ(LastCode(), 3219);
  const int32_t open = OpenCursor(uR"(SELECT "Name" FROM "People")");
  ASSERT_GT(open, cursor);
  ASSERT_EQ(Fetch(open, 1).rows, 1);
  ASSERT_TRUE(Ask(&CDBConnection::Close));
  ASSERT_EQ(Open(path_), B(path_));
  EXPECT_EQ(Fetch(open, 1).rows, -1);
  EXPECT_EQ(LastCode(), 3219);
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 3");
  // A row that fails ends the cursor rather than letting it start over (a server fails the
  // statement at its first fetch: its rows come whole).
  const int32_t failing = OpenCursor(
      uR"(SELECT CASE WHEN "ID" = 3 THEN abs("ID" * 0 - 9223372036854775807 - 1) ELSE "ID" END
          FROM "People" ORDER BY "ID")");
  ASSERT_NE(failing, 0);
  EXPECT_EQ(Fetch(failing, 5).rows, -1);
  EXPECT_TRUE(Error());
  EXPECT_EQ(Fetch(failing, 5).rows, -1);
  EXPECT_EQ(LastCode(), 3219);
}

TEST_P(StatementsTest, ATransactionIsSeenByOthersOnlyOnceCommitted) {
  CDBConnection other;
  ASSERT_EQ(OpenOther(other), B(path_));
  EXPECT_FALSE(Ask(&CDBConnection::CommitTrans));
  EXPECT_EQ(LastCode(), 3219);
  ASSERT_TRUE(Ask(&CDBConnection::BeginTrans));
  EXPECT_FALSE(Ask(&CDBConnection::BeginTrans));
  EXPECT_EQ(LastCode(), 3219);
  ASSERT_TRUE(Execute(uR"(INSERT INTO "People" ("Name") VALUES ('Di'))"));
  // A record writer of the same connection joins the transaction.
  ASSERT_TRUE(Table(u"People"));
  Variant stored;
  ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) {
    return db_.Append(VariantArray({S(u"Name"), S(u"Ed")}), 0, &stored, r);
  }));
  EXPECT_EQ(CountSeenBy(other), "VT_I4 3");
  ASSERT_TRUE(Ask(&CDBConnection::CommitTrans));
  EXPECT_EQ(CountSeenBy(other), "VT_I4 5");

  ASSERT_TRUE(Ask(&CDBConnection::BeginTrans));
  ASSERT_TRUE(Execute(uR"(DELETE FROM "People")"));
  ASSERT_TRUE(Execute(uR"(CREATE TABLE "Later" ("X" int))"));
  ASSERT_TRUE(Ask(&CDBConnection::Rollback));
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 5");
  EXPECT_FALSE(Execute(uR"(SELECT * FROM "Later")"));
  EXPECT_FALSE(Ask(&CDBConnection::Rollback));
}

TEST_P(StatementsTest, AConnectionThatGoesRollsBackAndFreesTheLock) {
  {
    CDBConnection gone;
    ASSERT_EQ(OpenOther(gone), B(path_));
    VARIANT_BOOL ok = 0;
    gone.BeginTrans(&ok);
    ASSERT_EQ(ok, VARIANT_TRUE);
    ASSERT_TRUE(Execute(gone, uR"(DELETE FROM "People")", Variant()));
    const int32_t cursor = [&] {
      int32_t id = 0;
      Variant columns;
      gone.OpenCursor(uR"(SELECT * FROM "Empty")", Variant(), &id, &columns, &ok);
      return id;
    }();
    ASSERT_NE(cursor, 0);
  }
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 3");
  EXPECT_TRUE(Execute(uR"(DELETE FROM "People" WHERE "ID" = 1)"));
}

TEST_P(StatementsTest, ExecuteManyKeepsEveryRowOrNone) {
  int32_t affected = -1;
  auto many = [&](const char16_t* sql, std::vector<Variant> rows) {
    return Ok([&](VARIANT_BOOL* r) {
      return db_.ExecuteMany(sql, VariantArray(std::move(rows)), &affected, r);
    });
  };
  const char16_t* insert = uR"(INSERT INTO "People" ("ID", "Name") VALUES (?, ?))";
  ASSERT_TRUE(many(insert, {Params({Variant::I4(5), S(u"e")}), Params({Variant::I4(6), S(u"f")})}));
  EXPECT_EQ(affected, 2);
  // The second row breaks the key: the first is undone too, inside a transaction as well.
  ASSERT_TRUE(Ask(&CDBConnection::BeginTrans));
  EXPECT_FALSE(
      many(insert, {Params({Variant::I4(7), S(u"g")}), Params({Variant::I4(5), S(u"x")})}));
  EXPECT_EQ(LastCode(), 3022);
  ASSERT_TRUE(Ask(&CDBConnection::CommitTrans));
  EXPECT_EQ(Single(uR"(SELECT count(*) FROM "People")"), "VT_I4 5");
  EXPECT_FALSE(many(u"SELECT ?", {Params({Variant::I4(1)})}));
  EXPECT_EQ(LastCode(), 3065);
  ASSERT_TRUE(many(insert, {}));
  EXPECT_EQ(affected, 0);
}

// On a server any failure ends the transaction (a stop on a server: ServerWaitTest); SQLite
// ends it only for a write it interrupts.
TEST_P(StatementsOnFiles, AStatementAskedToStopFailsAndTheTransactionItEndsIsOver) {
  // The server's part: asked now and then, while a statement runs, whether it is to stop.
  bool stop = false;
  CDBConnection db(SleepFor, [&] { return stop; });
  ASSERT_EQ(OpenOther(db), B(path_));
  const std::u16string numbers =
      u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) ";
  VARIANT_BOOL ok = 0;
  db.BeginTrans(&ok);
  ASSERT_TRUE(Execute(db, u"INSERT INTO People (Name) VALUES ('Di')", Variant()));
  stop = true;
  Variant rows;
  db.SQL(Bstr(numbers + u"SELECT count(*) FROM n"), &rows, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(LastCodeOf(db), 3059);
  // SQLite rolls back the transaction of a write it interrupts: a commit must not pass for one.
  int32_t affected = -1;
  db.ExecuteMany(Bstr(u"INSERT INTO People (Name) " + numbers + u"SELECT ? FROM n"),
                 VariantArray({Params({S(u"x")})}), &affected, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(LastCodeOf(db), 3059);
  stop = false;
  db.CommitTrans(&ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(LastCodeOf(db), 3219);
  EXPECT_EQ(CountSeenBy(db), "VT_I4 3");
}

}  // namespace
}  // namespace vorlix::test
