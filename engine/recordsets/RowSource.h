// RowSource: the rows a recordset walks, read live from a table (TableCursor) or held by a
// snapshot (ResultRows). The recordset keeps its position as a Row and asks its source for the
// next one, so it never needs to know which kind it walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/store/StoredValue.h"

namespace vorlix {

// One row: its identity (a table's rowid, the bookmark; a snapshot's row number) and, from a
// table, every field in column order. A snapshot's rows keep their values themselves.
struct Row {
  int64_t rowid = 0;
  std::vector<StoredValue> values;
};

class RowSource {
 public:
  virtual ~RowSource() = default;

  // The first row in order, or the last one when fromEnd; nullopt when there is none.
  virtual std::optional<Row> First(bool fromEnd) const = 0;
  // The row n places from `from` (forward for n > 0, backward for n < 0); nullopt when fewer
  // rows follow (or precede).
  virtual std::optional<Row> Move(const Row& from, int64_t n) const = 0;
  // The row with that identity, read anew; nullopt when it does not exist (any more).
  virtual std::optional<Row> Fetch(int64_t rowid) const = 0;
  // Field f of row as it is stored; its bytes stay valid while row and the source do.
  virtual StoredView Value(const Row& row, size_t f) const = 0;
  // How many rows there are now.
  virtual int64_t Count() const = 0;
};

}  // namespace vorlix
