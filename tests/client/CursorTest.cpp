// The cursor class over the real server: rows of several types with Nulls, more of them than
// one batch holds, read by iteration and as typed columns, and a failing statement's words; the
// packed batches it reads, value for value what Fetch answers, and one past the reply bound.
#include <gtest/gtest.h>

#include "automation/SafeArray.h"
#include "client/CreateObject.h"
#include "client/Cursor.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/Values.h"

namespace vorlix {
namespace {

Variant Values(std::vector<Variant> values) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(values)));
}

class CursorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Register());
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db_), S_OK);
    const Variant file = Variant::Str(test::B(files_.Path("cursor.vdb")));
    InvokeResult answer;
    ASSERT_EQ(db_->Invoke("CreateDatabase", {file}, &answer), S_OK);
    ASSERT_EQ(db_->Invoke("Open", {file, Variant::Bool(false), Variant::Bool(false)}, &answer),
              S_OK);
    ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) {
      int32_t affected = 0, cursor = 0;
      Variant lastId, columns;
      return db_->Execute(test::B("CREATE TABLE T (ID LONG PRIMARY KEY, N DOUBLE, Price CURRENCY, "
                                  "Name TEXT(20), At DATETIME, Flag BIT)"),
                          Variant(), &affected, &lastId, &cursor, &columns, r);
    }));
    std::vector<Variant> rows;
    for (int i = 0; i < kRows; ++i) {
      // Every third row leaves Price and Name Null.
      const bool nulls = i % 3 == 0;
      rows.push_back(
          Values({Variant::I4(i), Variant::R8(i / 4.0),
                  nulls ? Variant::Null() : Variant::Currency(i * 25),
                  nulls ? Variant::Null() : Variant::Str(test::B("n" + std::to_string(i))),
                  Variant::Date(45000 + i), Variant::Bool(i % 2 == 1)}));
    }
    ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) {
      int32_t affected = 0;
      return db_->ExecuteMany(test::B("INSERT INTO T VALUES (?, ?, ?, ?, ?, ?)"),
                              Values(std::move(rows)), &affected, r);
    }));
  }
  void TearDown() override {
    db_.reset();
    EXPECT_TRUE(folder_.ServerEnded());
  }

  // The batch the cursor reads for sql, in one piece, beside the arrays Fetch answers for it:
  // the same row count, element types, Null masks and values.
  void ExpectSameAsFetch(const std::string& sql) {
    SCOPED_TRACE(sql);
    std::unique_ptr<Cursor> cursor;
    ASSERT_EQ(Cursor::Open(*db_, sql, Variant(), &cursor), S_OK);
    Cursor::Batch packed;
    ASSERT_EQ(cursor->FetchColumns(1 << 20, &packed), S_OK);
    int32_t id = 0, rows = 0;
    Variant described, values, nulls;
    ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) {
      return db_->OpenCursor(test::B(sql), Variant(), &id, &described, r);
    }));
    ASSERT_TRUE(test::Ok(
        [&](VARIANT_BOOL* r) { return db_->Fetch(id, 1 << 20, &values, &nulls, &rows, r); }));
    ASSERT_EQ(packed.rows, static_cast<size_t>(rows));
    const std::vector<Variant>& arrays = values.AsArray().Elements();
    const std::vector<Variant>& masks = nulls.AsArray().Elements();
    ASSERT_EQ(packed.columns.size(), arrays.size());
    for (size_t c = 0; c < arrays.size(); ++c) {
      const SafeArray& array = arrays[c].AsArray();
      const bool masked = masks[c].vt() != VT_EMPTY;
      EXPECT_EQ(packed.columns[c].type, array.ElementType()) << c;
      EXPECT_EQ(packed.columns[c].nulls.empty(), !masked) << c;
      for (int32_t r = 0; r < rows; ++r) {
        const bool null = masked && masks[c].AsArray().Bytes()[static_cast<size_t>(r)];
        ASSERT_EQ(ValueAt(packed.columns[c], static_cast<size_t>(r)),
                  null ? Variant::Null() : array.At(r))
            << c << " " << r;
      }
    }
  }

  static constexpr int kRows = 2500;
  test::TempDir files_;
  test::ServerFolder folder_;
  std::unique_ptr<DBConnection2> db_;
};

TEST_F(CursorTest, IteratesEveryRowAcrossBatchesWithTypedValuesAndNulls) {
  std::unique_ptr<Cursor> cursor;
  ASSERT_EQ(
      Cursor::Open(*db_, "SELECT ID, N, Price, Name, At, Flag FROM T WHERE ID >= ? ORDER BY ID",
                   Values({Variant::I4(0)}), &cursor, 1000),
      S_OK);
  ASSERT_EQ(cursor->Columns().size(), 6u);
  EXPECT_EQ(cursor->Columns()[3].name, "Name");
  EXPECT_EQ(cursor->Columns()[3].type, VT_BSTR);
  EXPECT_EQ(cursor->Columns()[3].size, 20);
  int i = 0;
  for (const Cursor::Row& row : *cursor) {
    ASSERT_EQ(row.Int(0), i);
    EXPECT_EQ(row.Real(1), i / 4.0);
    EXPECT_EQ(row.IsNull(2), i % 3 == 0);
    EXPECT_EQ(row.IsNull(3), i % 3 == 0);
    if (!row.IsNull(3)) {
      EXPECT_EQ(row.Int(2), i * 25);
      EXPECT_EQ(row.Text(3), "n" + std::to_string(i));
    }
    EXPECT_EQ(row.Value(2), i % 3 ? Variant::Currency(i * 25) : Variant::Null());
    EXPECT_EQ(row.Value(4), Variant::Date(45000 + i));
    EXPECT_EQ(row.Value(5), Variant::Bool(i % 2 == 1));
    ++i;
  }
  EXPECT_EQ(i, kRows);
  EXPECT_EQ(cursor->Error(), "");
}

TEST_F(CursorTest, FetchesBatchesIntoTypedColumnsAndReportsAFailedStatement) {
  std::unique_ptr<Cursor> cursor;
  ASSERT_EQ(Cursor::Open(*db_, "SELECT ID, Name FROM T WHERE ID >= 2000", Variant(), &cursor),
            S_OK);
  Cursor::Batch batch;
  ASSERT_EQ(cursor->FetchColumns(300, &batch), S_OK);
  ASSERT_EQ(batch.rows, 300u);
  const auto& ids = std::get<std::vector<int64_t>>(batch.columns[0].values);
  const auto& names = std::get<std::vector<std::string>>(batch.columns[1].values);
  EXPECT_EQ(ids.front(), 2000);
  EXPECT_EQ(names[299], "n2299");
  ASSERT_EQ(cursor->FetchColumns(300, &batch), S_OK);
  EXPECT_EQ(batch.rows, 200u);
  ASSERT_EQ(cursor->FetchColumns(300, &batch), S_OK);
  EXPECT_EQ(batch.rows, 0u);

  EXPECT_EQ(Cursor::Open(*db_, "SELECT * FROM Missing", Variant(), &cursor), E_FAIL);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_TRUE(LastClientError().starts_with("3078 ")) << LastClientError();
}

TEST_F(CursorTest, PackedBatchesHoldWhatFetchAnswers) {
  int32_t affected = 0, none = 0;
  Variant lastId, columns;
  ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) {
    return db_->Execute(test::B("CREATE TABLE U (K LONG, Name MEMO)"), Variant(), &affected,
                        &lastId, &none, &columns, r);
  }));
  const Variant texts = Values({Values({Variant::I4(1), Variant::Str(test::B("Zoë"))}),
                                Values({Variant::I4(2), Variant::Str(std::u16string(u"a\0b", 3))}),
                                Values({Variant::I4(3), Variant::Null()}),
                                Values({Variant::I4(4), Variant::Str(test::B("日本"))})});
  ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) {
    return db_->ExecuteMany(test::B("INSERT INTO U VALUES (?, ?)"), texts, &affected, r);
  }));
  // Currency, dates and Booleans with Nulls, in a batch bigger than goes inline.
  ExpectSameAsFetch("SELECT ID, N, Price, Name, At, Flag, Name || hex(zeroblob(60)) FROM T");
  ExpectSameAsFetch("SELECT K, Name FROM U");  // U+0000: Variants
  ExpectSameAsFetch("SELECT K, Name FROM U WHERE K <> 2");
  ExpectSameAsFetch("SELECT * FROM T WHERE ID < 0");
}

TEST_F(CursorTest, APackedBatchPastTheReplyBoundArrives) {
  // 70 rows of 1 MiB of text.
  const std::string sql = "SELECT ID, hex(zeroblob(524288)) FROM T WHERE ID < 70";
  std::unique_ptr<Cursor> cursor;
  ASSERT_EQ(Cursor::Open(*db_, sql, Variant(), &cursor), S_OK);
  Cursor::Batch batch;
  ASSERT_EQ(cursor->FetchColumns(100, &batch), S_OK);
  ASSERT_EQ(batch.rows, 70u);
  const auto& texts = std::get<std::vector<std::string>>(batch.columns[1].values);
  EXPECT_EQ(std::get<std::vector<int64_t>>(batch.columns[0].values)[69], 69);
  EXPECT_EQ(texts[69], std::string(size_t{1} << 20, '0'));

  int32_t id = 0, rows = 0;
  Variant described, values, nulls;
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(db_->OpenCursor(test::B(sql), Variant(), &id, &described, &ok), S_OK);
  EXPECT_EQ(db_->Fetch(id, 100, &values, &nulls, &rows, &ok), E_OUTOFMEMORY);
}

}  // namespace
}  // namespace vorlix
