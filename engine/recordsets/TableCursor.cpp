#include "engine/recordsets/TableCursor.h"

#include <algorithm>
#include <cstdlib>

#include "engine/recordsets/ColumnValue.h"
#include "engine/store/SqlText.h"
#include "engine/store/TextCollation.h"

namespace vorlix {
namespace {

// How a seek compares a key of type: Text and Memo without regard to case, by the index's own
// collation where that ignores case, so that the index serves the seek (files made before the
// general order have NOCASE), else by the general order.
std::string SeekCollation(const FieldType& type, const std::string& indexCollation) {
  if (!type.noCase) return "";
  const bool ignoresCase =
      EqualNoCase(indexCollation, kTextCollation) || EqualNoCase(indexCollation, "NOCASE");
  return " COLLATE " + (ignoresCase ? indexCollation : std::string(kTextCollation));
}

// The condition that key k holds value: "= ?" (value added to values), or "IS NULL", which
// every store reads and serves from the index (a Null-safe "IS ?" is SQLite's own). A seek
// compares in its key's seek collation.
std::string EqualTo(const std::string& column, const StoredValue& value,
                    std::vector<StoredValue>* values, const std::string& collation = "") {
  if (value.kind == StoredValue::kNull) return column + " IS NULL";
  values->push_back(value);
  return column + " = ?" + collation;
}

// Records a walk reads ahead at most at once, and bytes: past either, the reading stops (after
// one record at least), so a table of large values is not held many records deep.
constexpr size_t kAheadRows = 256;
constexpr size_t kAheadBytes = 256 * 1024;

}  // namespace

TableCursor::TableCursor(Store& db, const TableSchema& table, const IndexSchema* index)
    : db_(db),
      table_(QuoteName(table.name)),
      fieldCount_(table.fields.size()),
      unique_(index && index->info.m_bUnique) {
  columns_ = "rowid";
  for (const FieldSchema& f : table.fields)
    columns_ += ", " + QuoteName(f.name);
  select_ = "SELECT " + columns_ + " FROM " + table_;
  if (!index) return;
  for (size_t i = 0; i < index->columns.size(); ++i) {
    for (size_t f = 0; f < table.fields.size(); ++f) {
      if (!EqualNoCase(table.fields[f].name, index->columns[i])) continue;
      keys_.push_back({QuoteName(table.fields[f].name), f,
                       index->info.m_fieldInfos[i].m_bDescending,
                       SeekCollation(*table.fields[f].type, index->collations[i])});
    }
  }
}

// By result column numbers (the rowid is column 1), which a compound statement needs.
std::string TableCursor::OrderBy(bool forward) const {
  std::string sql = " ORDER BY ";
  for (const Key& k : keys_)
    sql += std::to_string(k.field + 2) + (k.descending == forward ? " DESC, " : ", ");
  return sql + (forward ? "1" : "1 DESC");
}

// The records after `from` in the direction of travel are those that share its first L key
// values and lie beyond it on key L, for L from the last key (where the rowid breaks the tie)
// down to the first. Each L is one range of the index, so each probe is one indexed step. Null
// sorts before every value, which is why a Null key or a move towards smaller values needs its own
// probe.
std::vector<TableCursor::Probe> TableCursor::Probes(const Row& from, bool forward) const {
  bool keyHasNull = false;
  for (const Key& k : keys_)
    keyHasNull = keyHasNull || from.values[k.field].kind == StoredValue::kNull;

  std::vector<Probe> probes;
  for (size_t level = keys_.size() + 1; level-- > 0;) {
    // In a unique index no other record shares a whole key that has no Null.
    if (level == keys_.size() && level > 0 && unique_ && !keyHasNull) continue;
    Probe prefix;
    for (size_t j = 0; j < level; ++j) {
      prefix.where +=
          EqualTo(keys_[j].column, from.values[keys_[j].field], &prefix.values) + " AND ";
    }
    if (level == keys_.size()) {
      Probe p = prefix;
      p.where += forward ? "rowid > ?" : "rowid < ?";
      StoredValue rowid;
      rowid.kind = StoredValue::kInteger;
      rowid.integer = from.rowid;
      p.values.push_back(rowid);
      probes.push_back(std::move(p));
      continue;
    }
    const Key& k = keys_[level];
    const StoredValue& v = from.values[k.field];
    const bool towardsLarger = forward != k.descending;
    if (towardsLarger && v.kind == StoredValue::kNull) {
      Probe p = prefix;
      p.where += k.column + " IS NOT NULL";
      probes.push_back(std::move(p));
    } else if (towardsLarger) {
      Probe p = prefix;
      p.where += k.column + " > ?";
      p.values.push_back(v);
      probes.push_back(std::move(p));
    } else if (v.kind != StoredValue::kNull) {
      Probe smaller = prefix;
      smaller.where += k.column + " < ?";
      smaller.values.push_back(v);
      probes.push_back(std::move(smaller));
      Probe nulls = prefix;
      nulls.where += k.column + " IS NULL";
      probes.push_back(std::move(nulls));
    }
  }
  return probes;
}

std::vector<Row> TableCursor::Query(const std::string& sql, const std::vector<StoredValue>& values,
                                    std::initializer_list<int64_t> tail, size_t limit) const {
  Statement s = db_.Cached(sql);
  int index = 1;
  for (const StoredValue& v : values)
    s.Bind(index++, v);
  for (int64_t v : tail)
    s.Bind(index++, v);
  std::vector<Row> rows;
  size_t bytes = 0;
  while (rows.size() < limit && bytes < kAheadBytes && s.Step()) {
    const Row& row = rows.emplace_back(Read(s));
    for (const StoredValue& v : row.values)
      bytes += v.bytes.size();
  }
  return rows;
}

Row TableCursor::Read(const Statement& s) const {
  Row row;
  row.rowid = s.Int(0);
  row.values.reserve(fieldCount_);
  for (size_t f = 0; f < fieldCount_; ++f)
    row.values.push_back(Owned(s.Cell(static_cast<int>(f) + 1)));
  return row;
}

std::optional<Row> TableCursor::QueryOne(const std::string& sql,
                                         const std::vector<StoredValue>& values,
                                         std::initializer_list<int64_t> tail) const {
  std::vector<Row> rows = Query(sql, values, tail, 1);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::optional<Row> TableCursor::First(bool fromEnd) const {
  return QueryOne(select_ + OrderBy(!fromEnd) + " LIMIT 1", {});
}

// One statement: the probes joined by UNION ALL under the cursor's ORDER BY, which SQLite runs
// as a merge of index ranges that are already in order, so it stops after the records asked for.
std::string TableCursor::MoveSql(const Row& from, bool forward,
                                 std::vector<StoredValue>* values) const {
  std::string sql;
  for (Probe& p : Probes(from, forward)) {
    sql += (sql.empty() ? "" : " UNION ALL ") + select_ + " WHERE " + p.where;
    for (StoredValue& v : p.values)
      values->push_back(std::move(v));
  }
  return sql + OrderBy(forward);
}

std::optional<Row> TableCursor::Move(const Row& from, int64_t n) const {
  const bool forward = n > 0;
  if (n == 1 || n == -1) return Step(from, forward);
  std::vector<StoredValue> values;
  const std::string sql = MoveSql(from, forward, &values);
  return QueryOne(sql + " LIMIT 1 OFFSET ?", values, {std::llabs(n) - 1});
}

// The records read ahead follow `from` when it is the record handed out last: the same record
// with the same key, so the probe from it would start where they do.
std::optional<Row> TableCursor::Step(const Row& from, bool forward) const {
  ReadAhead& a = ahead_;
  bool follows = a.forward == forward && a.next > 0 && a.lastRowid == from.rowid;
  for (size_t k = 0; k < keys_.size() && follows; ++k)
    follows = a.lastKeys[k] == from.values[keys_[k].field];
  const uint64_t version = db_.ReadVersion();
  if (follows && version == a.version && a.next < a.rows.size()) return HandOut();

  a.batch = follows && a.next == a.rows.size() ? std::min(a.batch * 4, kAheadRows) : 1;
  std::vector<StoredValue> values;
  const std::string sql = MoveSql(from, forward, &values);
  a.rows = Query(sql + " LIMIT ?", values, {static_cast<int64_t>(a.batch)}, a.batch);
  a.next = 0;
  a.forward = forward;
  a.version = version;
  if (a.rows.empty()) return std::nullopt;
  return HandOut();
}

Row TableCursor::HandOut() const {
  ReadAhead& a = ahead_;
  Row row = std::move(a.rows[a.next++]);
  a.lastRowid = row.rowid;
  a.lastKeys.clear();
  for (const Key& k : keys_)
    a.lastKeys.push_back(row.values[k.field]);
  return row;
}

std::optional<Row> TableCursor::Fetch(int64_t rowid) const {
  StoredValue key;
  key.kind = StoredValue::kInteger;
  key.integer = rowid;
  return QueryOne(select_ + " WHERE rowid = ?", {key});
}

int64_t TableCursor::Count() const {
  return db_.QueryInt("SELECT count(*) FROM " + table_);
}

std::string TableCursor::SeekSql(const std::vector<StoredValue>& keys,
                                 std::vector<StoredValue>* values) const {
  std::string where;
  for (size_t j = 0; j < keys.size(); ++j) {
    where += (j ? " AND " : " WHERE ") +
             EqualTo(keys_[j].column, keys[j], values, keys_[j].seekCollation);
  }
  return select_ + where + OrderBy(true) + " LIMIT 1";
}

std::optional<Row> TableCursor::Seek(const std::vector<StoredValue>& keys) const {
  const bool anyNull = std::any_of(
      keys.begin(), keys.end(), [](const StoredValue& k) { return k.kind == StoredValue::kNull; });
  std::vector<StoredValue> values;
  if (anyNull) return QueryOne(SeekSql(keys, &values), values);
  // Keys with no Null, the usual seek, bind as they are, under a text made once per count.
  if (seekSql_.size() <= keys.size()) seekSql_.resize(keys.size() + 1);
  std::string& sql = seekSql_[keys.size()];
  if (sql.empty()) sql = SeekSql(keys, &values);
  return QueryOne(sql, keys);
}

}  // namespace vorlix
