#include "engine/recordsets/ResultSet.h"

#include <algorithm>

#include "engine/recordsets/ColumnValue.h"

namespace vorlix {

namespace {

// The cells a block holds at most: 1 MiB of them.
constexpr size_t kBlockCells = size_t{1} << 16;

int16_t CodeOfStorage(const ResultRows& rows, size_t column) {
  for (size_t r = 0; r < rows.size(); ++r) {
    switch (rows.Cell(r, column).kind) {
      case StoredValue::kInteger:
        return dbLong;
      case StoredValue::kReal:
        return dbDouble;
      case StoredValue::kBlob:
        return dbLongBinary;
      case StoredValue::kText:
        return dbMemo;
      case StoredValue::kNull:
        break;
    }
  }
  return dbMemo;
}

}  // namespace

std::vector<RecordField> TableFields(const TableSchema& table) {
  std::vector<RecordField> fields;
  for (const FieldSchema& f : table.fields)
    fields.push_back({f.info, f.name, f.type, f.autoIncrement});
  return fields;
}

ResultRows::ResultRows(size_t columns) : columns_(columns), blockShift_(0) {
  // Whole rows a block, a power of two of them, so that finding a row's block is a shift.
  const size_t width = std::max<size_t>(columns_, 1);
  while ((width << (blockShift_ + 1)) <= kBlockCells)
    ++blockShift_;
}

void ResultRows::Append(const Statement& stmt) {
  if ((rows_ & ((size_t{1} << blockShift_) - 1)) == 0) {
    Block& block = blocks_.emplace_back();
    // A first block grows as it fills, so that a small result takes little; a later one is
    // taken whole at once, and its pages only as rows fill them.
    if (blocks_.size() > 1) block.cells.reserve(columns_ << blockShift_);
  }
  Block& block = blocks_.back();
  for (size_t c = 0; c < columns_; ++c) {
    const StoredView v = stmt.Cell(static_cast<int>(c));
    Stored cell{};
    cell.kind = v.kind;
    switch (v.kind) {
      case StoredValue::kInteger:
        cell.integer = v.integer;
        break;
      case StoredValue::kReal:
        cell.real = v.real;
        break;
      case StoredValue::kText:
      case StoredValue::kBlob:
        cell.length = static_cast<uint32_t>(v.bytes.size());
        cell.offset = block.bytes.size();
        block.bytes.append(v.bytes);
        break;
      case StoredValue::kNull:
        break;
    }
    block.cells.push_back(cell);
  }
  ++rows_;
}

StoredView ResultRows::Cell(size_t row, size_t column) const {
  const Block& block = blocks_[row >> blockShift_];
  const size_t inBlock = row & ((size_t{1} << blockShift_) - 1);
  const Stored& cell = block.cells[inBlock * columns_ + column];
  StoredView v{cell.kind, 0, 0, {}};
  switch (cell.kind) {
    case StoredValue::kInteger:
      v.integer = cell.integer;
      break;
    case StoredValue::kReal:
      v.real = cell.real;
      break;
    case StoredValue::kText:
    case StoredValue::kBlob:
      v.bytes = std::string_view(block.bytes).substr(cell.offset, cell.length);
      break;
    case StoredValue::kNull:
      break;
  }
  return v;
}

std::optional<Row> ResultRows::First(bool fromEnd) const {
  if (empty()) return std::nullopt;
  return Row{fromEnd ? static_cast<int64_t>(size()) - 1 : 0, {}};
}

std::optional<Row> ResultRows::Fetch(int64_t rowid) const {
  if (rowid < 0 || rowid >= static_cast<int64_t>(size())) return std::nullopt;
  return Row{rowid, {}};
}

ResultSet ReadResultSet(Statement& stmt, const RowLimit& limit) {
  const int columns = stmt.ColumnCount();
  ResultSet result{{}, ResultRows(static_cast<size_t>(columns))};
  std::vector<DeclaredType> declared(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    RecordField f;
    f.name = stmt.ColumnName(c);
    const Statement::Origin origin = stmt.ColumnOrigin(c);
    const bool fromTable = origin.column != nullptr;
    if (fromTable) declared[c] = ParseDeclaredType(origin.declaredType);
    f.type = fromTable ? declared[c].type : nullptr;
    f.autoIncrement = fromTable && declared[c].autoIncrement;
    f.info.m_strName = Bstr::FromUtf8Lossy(f.name);
    f.info.m_nOrdinalPosition = static_cast<int16_t>(c);
    if (fromTable) {
      f.info.m_strSourceField = Bstr::FromUtf8Lossy(origin.column);
      f.info.m_strSourceTable = Bstr::FromUtf8Lossy(origin.table);
    }
    result.fields.push_back(std::move(f));
  }
  const size_t most = limit ? limit(result.fields) : SIZE_MAX;
  while (result.rows.size() <= most && stmt.Step())
    result.rows.Append(stmt);
  // A computed column's type comes from the values read.
  for (size_t c = 0; c < result.fields.size(); ++c) {
    RecordField& f = result.fields[c];
    const FieldType* reported = f.type ? f.type : FieldTypeByCode(CodeOfStorage(result.rows, c));
    f.info.m_nType = reported->code;
    f.info.m_lSize = f.type ? declared[c].size : reported->size;
    f.info.m_lAttributes = FieldAttributes(*reported, f.autoIncrement);
    f.info.m_bAllowZeroLength = reported->noCase;
  }
  return result;
}

}  // namespace vorlix
