// The statements that move through one table in the order of one of its indexes, or in rowid
// order. The table is never loaded: every move is an indexed probe that starts from the key
// of the record it moves from, so it works whether that record still exists or not, and sees
// what other users changed. No statement stays open after a call returns. A walk one record
// at a time reads the records ahead of it with the same probe, and hands them out for as long
// as the store vouches that nothing changed since they were read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "engine/recordsets/RowSource.h"
#include "engine/schema/FieldValue.h"
#include "engine/schema/Schema.h"
#include "engine/store/Store.h"

namespace vorlix {

class TableCursor final : public RowSource {
 public:
  // index nullptr: rowid order. The cursor keeps what it needs of both; db must outlive it.
  TableCursor(Store& db, const TableSchema& table, const IndexSchema* index);

  // A move is one statement whatever n is, or none when a move by one finds the record read
  // ahead already.
  std::optional<Row> First(bool fromEnd) const override;
  std::optional<Row> Move(const Row& from, int64_t n) const override;
  std::optional<Row> Fetch(int64_t rowid) const override;
  StoredView Value(const Row& row, size_t f) const override { return ViewOf(row.values[f]); }
  // Counted now, with a statement.
  int64_t Count() const override;

  // The columns a record is read from, as a SELECT list (rowid first); and the record of a
  // statement's current row whose result columns are those.
  const std::string& Columns() const { return columns_; }
  Row Read(const Statement& s) const;

  // The first record in order whose first keys.size() index fields equal keys (Text and Memo
  // fields compared without regard to case); the keys are converted to the fields' types
  // already.
  std::optional<Row> Seek(const std::vector<StoredValue>& keys) const;

  // The index's fields: how many, and the position of key k among the row's values.
  size_t KeyCount() const { return keys_.size(); }
  size_t KeyField(size_t k) const { return keys_[k].field; }

 private:
  struct Key {
    std::string column;  // quoted
    size_t field;        // position in the row's values
    bool descending;
    std::string seekCollation;  // " COLLATE name" for a Text or Memo key, else ""
  };
  // One probe of a move: the WHERE clause and its bound values.
  struct Probe {
    std::string where;
    std::vector<StoredValue> values;
  };

  // Records read by the last probe of a move by one, in its direction, from rows[next] on;
  // version is the store's ReadVersion taken before they were read. The probe after a batch
  // used up reads a larger one, so a walk costs one probe per batch while a lone move reads
  // one record.
  struct ReadAhead {
    std::vector<Row> rows;
    size_t next = 0;
    bool forward = true;
    uint64_t version = 0;
    size_t batch = 1;
    int64_t lastRowid = 0;              // of the record handed out last
    std::vector<StoredValue> lastKeys;  // its key values
  };

  std::vector<Probe> Probes(const Row& from, bool forward) const;
  std::string OrderBy(bool forward) const;
  // Runs sql with values, then tail, bound; up to limit rows, fewer when they grow large.
  std::vector<Row> Query(const std::string& sql, const std::vector<StoredValue>& values,
                         std::initializer_list<int64_t> tail, size_t limit) const;
  std::optional<Row> QueryOne(const std::string& sql, const std::vector<StoredValue>& values,
                              std::initializer_list<int64_t> tail = {}) const;
  // The SQL of a move from `from` and its values (the probes joined), without the limit.
  std::string MoveSql(const Row& from, bool forward, std::vector<StoredValue>* values) const;
  // The statement of a seek by keys, with the values it binds added to values.
  std::string SeekSql(const std::vector<StoredValue>& keys, std::vector<StoredValue>* values) const;
  // A move by one: from the records read ahead when they follow `from` and are still true.
  std::optional<Row> Step(const Row& from, bool forward) const;
  // Hands out ahead_.rows[ahead_.next], remembering which record it was.
  Row HandOut() const;

  Store& db_;
  std::string table_;    // quoted
  std::string columns_;  // rowid, every column
  std::string select_;   // SELECT columns_ FROM table
  size_t fieldCount_;
  std::vector<Key> keys_;
  bool unique_;
  mutable ReadAhead ahead_;
  // The text of a seek by n keys none of which is Null, at n, once it was made.
  mutable std::vector<std::string> seekSql_;
};

}  // namespace vorlix
