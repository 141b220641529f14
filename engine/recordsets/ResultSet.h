// The fields a recordset reports, for a table and for the result of a query, and the reading
// of a query's whole result.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/DaoInfo.h"
#include "engine/recordsets/RowSource.h"
#include "engine/schema/FieldType.h"
#include "engine/schema/Schema.h"
#include "engine/store/Store.h"

namespace vorlix {

struct RecordField {
  CDaoFieldInfo info;
  std::string name;
  const FieldType* type;  // nullptr for a computed column: its values keep their storage class
  bool autoIncrement;
};

std::vector<RecordField> TableFields(const TableSchema& table);

// A query's rows, numbered from 0, held compactly: a small cell per value in row order and
// the bytes of the texts and blobs beside them, so holding a result costs no allocation per
// row or per value. They are held in blocks of whole rows: growing never moves what is held,
// where one growing buffer held its old and its new storage at once, twice the rows.
class ResultRows final : public RowSource {
 public:
  explicit ResultRows(size_t columns = 0);

  // Appends the row stmt stands on, every column in its storage class.
  void Append(const Statement& stmt);

  size_t size() const { return rows_; }
  bool empty() const { return rows_ == 0; }
  // The value at row, column; its bytes stay valid until these rows change or go.
  StoredView Cell(size_t row, size_t column) const;

  // Walked as a snapshot: a Row is only its number, its values stay here.
  std::optional<Row> First(bool fromEnd) const override;
  std::optional<Row> Move(const Row& from, int64_t n) const override {
    return Fetch(from.rowid + n);
  }
  std::optional<Row> Fetch(int64_t rowid) const override;
  StoredView Value(const Row& row, size_t f) const override {
    return Cell(static_cast<size_t>(row.rowid), f);
  }
  int64_t Count() const override { return static_cast<int64_t>(size()); }

 private:
  struct Stored {
    StoredValue::Kind kind;
    uint32_t length;  // of the text or blob (SQLite keeps either under 2 GiB)
    union {
      int64_t integer;
      double real;
      size_t offset;  // of the text or blob in its block's bytes
    };
  };

  struct Block {
    std::vector<Stored> cells;
    std::string bytes;  // of its texts and blobs
  };

  size_t columns_;
  unsigned blockShift_;  // a block holds 1 << blockShift_ rows
  size_t rows_ = 0;
  std::vector<Block> blocks_;
};

struct ResultSet {
  std::vector<RecordField> fields;
  ResultRows rows;
};

// The most rows a reader wants of a result, told its fields before any row is read (their
// names and sources known, a computed column's type not yet).
using RowLimit = std::function<size_t(const std::vector<RecordField>& fields)>;

// Steps stmt to its end, or to one row past what limit allows, so that a caller who cannot use
// more rows learns there are more without reading them all. A column taken straight from a
// table column has that column's field type; any other column is computed and reported by the
// storage class of its first value that is not Null (Memo when there is none).
ResultSet ReadResultSet(Statement& stmt, const RowLimit& limit = {});

}  // namespace vorlix
