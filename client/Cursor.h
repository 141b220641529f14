// Cursor: the rows of one statement, read through the extension interface's typed proxy a batch
// at a time, column by column: one FetchPacked a batch (protocol/PackedColumns.h) from a server
// that has it, else one Fetch. Iterate it for rows with typed access to each value, or read
// batches straight into typed columns for bulk work:
//
//   std::unique_ptr<Cursor> cursor;
//   if (Cursor::Open(db, "SELECT ID, Name FROM T WHERE ID > ?", params, &cursor) != S_OK) ...
//   for (const Cursor::Row& row : *cursor) use(row.Int(0), row.IsNull(1) ? "" : row.Text(1));
//   if (!cursor->Error().empty()) ...  // the rows ended early
//
// The server's cursor closes when the rows end or the Cursor is destroyed.
#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "automation/ColumnValues.h"
#include "automation/Variant.h"
#include "client/TypedProxies.h"

namespace vorlix {

class Cursor {
 public:
  // A column as OpenCursor describes it; type is VT_VARIANT for a computed column.
  struct Column {
    std::string name;
    VARTYPE type = VT_VARIANT;
    std::string declaredType;
    int32_t size = 0;
    bool nullable = true;
  };

  // One column of a batch (automation/ColumnValues.h): its values in the vector their type
  // selects, a Null mask when it has Nulls.
  using ColumnValues = vorlix::ColumnValues;
  struct Batch {
    size_t rows = 0;
    std::vector<ColumnValues> columns;
  };

  // A row of the batch being iterated. Int, Real and Text read a column held in that form
  // (std::bad_variant_access otherwise); Value reads any column as a Variant (VT_NULL for Null).
  class Row {
   public:
    bool IsNull(size_t column) const;
    int64_t Int(size_t column) const;
    double Real(size_t column) const;
    const std::string& Text(size_t column) const;
    Variant Value(size_t column) const;

   private:
    friend class Cursor;
    const Batch* batch_ = nullptr;
    size_t index_ = 0;
  };

  class Iterator {
   public:
    using difference_type = std::ptrdiff_t;
    using value_type = Row;
    const Row& operator*() const { return cursor_->row_; }
    Iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const;

   private:
    friend class Cursor;
    explicit Iterator(Cursor* cursor) : cursor_(cursor) {}
    Cursor* cursor_;
  };

  // Runs sql with params (VT_EMPTY for none, else a VARIANT array: values for "?", name/value
  // pairs for named places) through connection, which must outlive the cursor. S_OK with the
  // cursor in *cursor; E_FAIL when the statement failed (its error code and description, read
  // from the connection's error record, in LastClientError()), or the wire's HRESULT.
  static HRESULT Open(DBConnection2& connection, const std::string& sql, const Variant& params,
                      std::unique_ptr<Cursor>* cursor, int32_t batchRows = 4096);
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  const std::vector<Column>& Columns() const { return columns_; }

  // Reads up to rows more rows into *batch, replacing what it held: S_OK, with batch->rows 0
  // once the rows have ended; on failure as Open, and Error() says why. Not to be mixed with
  // iteration on one cursor.
  HRESULT FetchColumns(int32_t rows, Batch* batch);

  // Iteration fetches batchRows rows at a time; it ends at the last row or at a failure.
  Iterator begin();
  std::default_sentinel_t end() const { return {}; }

  // Why the latest fetch failed; empty while every one succeeded.
  const std::string& Error() const { return error_; }

 private:
  Cursor(DBConnection2& connection, int32_t id, std::vector<Column> columns, int32_t batchRows,
         bool packed);
  // Fetches the next batch into batch_ and points row_ at its first row; batch_ is empty at the
  // end or on failure.
  void NextBatch();
  HRESULT Fail(HRESULT hr);

  DBConnection2& connection_;
  int32_t id_;  // the server's cursor; 0 once closed
  std::vector<Column> columns_;
  int32_t batchRows_;
  bool packed_;  // the server answers FetchPacked
  Batch batch_;
  Row row_;
  std::string error_;
};

}  // namespace vorlix
