#include "engine/recordsets/ResultSet.h"

#include "engine/recordsets/ColumnValue.h"

namespace vorlix {

std::vector<RecordField> TableFields(const TableSchema& table) {
  std::vector<RecordField> fields;
  for (const FieldSchema& f : table.fields)
    fields.push_back({f.info, f.name, f.type, f.autoIncrement});
  return fields;
}

void ResultRows::Append(const Statement& stmt) {
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
        cell.offset = bytes_.size();
        bytes_.append(v.bytes);
        break;
      case StoredValue::kNull:
        break;
    }
    cells_.push_back(cell);
  }
}

StoredView ResultRows::Cell(size_t row, size_t column) const {
  const Stored& cell = cells_[row * columns_ + column];
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
      v.bytes = std::string_view(bytes_).substr(cell.offset, cell.length);
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

namespace {

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
