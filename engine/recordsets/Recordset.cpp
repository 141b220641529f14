#include "engine/recordsets/Recordset.h"

#include <algorithm>
#include <cstring>

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/ColumnValue.h"
#include "engine/recordsets/EditLock.h"
#include "engine/recordsets/QueryDef.h"
#include "engine/schema/Names.h"
#include "engine/store/SqlText.h"

namespace vorlix {

CDaoRecordset::~CDaoRecordset() {
  Close();
}

CDaoRecordset::State& CDaoRecordset::Require() const {
  if (!open_) ThrowDao(dao_error::kInvalidOperation, "The recordset is not open.");
  return *open_;
}

CDaoRecordset::State& CDaoRecordset::RequireTable() const {
  State& s = Require();
  if (!s.cursor) {
    ThrowDao(dao_error::kInvalidOperation, "A snapshot has no indexes and cannot be changed.");
  }
  return s;
}

void CDaoRecordset::Open(int openType, const Bstr& source, int options) {
  if (open_) ThrowDao(dao_error::kInvalidOperation, "The recordset is open already.");
  if (openType != dbOpenTable || (options & ~dbReadOnly) != 0) {
    ThrowDao(dao_error::kInvalidArgument,
             "A table is opened as a table-type recordset, with no option but read-only.");
  }
  const std::string name = NameUtf8(source, "table");
  for (const TableEntry& t : Internal(*database_).Tables()) {
    if (t.isLink && EqualNoCase(t.name, name)) {
      ThrowDao(dao_error::kInvalidOperation,
               "The link " + Quoted(t.name) + " is reached through SQL, not as a table.");
    }
  }
  auto s = std::make_unique<State>();
  s->schema = ReadTableSchema(Internal(*database_).Db(), Internal(*database_).HasCatalog(), name);
  if (!s->schema.hasRowid) {
    ThrowDao(dao_error::kInvalidOperation,
             "The table " + Quoted(s->schema.name) + " has no rowids to keep a position by.");
  }
  s->schemaVersion = Internal(*database_).Db().SchemaVersion();
  s->schemaChanges = Internal(*database_).SchemaChanges();
  s->name = s->schema.name;
  // The catalog tables are the engine's: readable, never written through a recordset.
  s->readOnly =
      (options & dbReadOnly) != 0 || !database_->CanUpdate() || IsSystemName(s->schema.name);
  s->fields = TableFields(s->schema);
  NewCursor(*s);
  Start(std::move(s));
}

void CDaoRecordset::Start(std::unique_ptr<State> s) {
  open_ = std::move(s);
  Internal(*database_).AddDependent(this);
  try {
    Land(open_->source->First(false), true);
  } catch (const CDaoException&) {
    Close();
    throw;
  }
}

void CDaoRecordset::NewCursor(State& s) {
  auto cursor = std::make_unique<TableCursor>(
      Internal(*database_).Db(), s.schema,
      s.currentIndex < 0 ? nullptr : &s.schema.indexes[s.currentIndex]);
  s.cursor = cursor.get();
  s.source = std::move(cursor);
}

void CDaoRecordset::Refresh(State& s, bool askFile) {
  if (!s.cursor) return;
  // Asking the file is a statement of its own, too dear for every record a caller reads.
  if (!askFile && Internal(*database_).SchemaChanges() == s.schemaChanges) return;
  s.schemaChanges = Internal(*database_).SchemaChanges();
  vorlix::Store& db = Internal(*database_).Db();
  const int64_t version = db.SchemaVersion();
  if (version == s.schemaVersion) return;
  TableSchema schema = ReadTableSchema(db, Internal(*database_).HasCatalog(), s.schema.name);
  const std::string index =
      s.currentIndex < 0 ? std::string() : s.schema.indexes[s.currentIndex].info.m_strName.Utf8();
  s.currentIndex = -1;
  for (size_t i = 0; i < schema.indexes.size() && !index.empty(); ++i) {
    if (schema.indexes[i].info.m_strName.Utf8() == index) s.currentIndex = static_cast<int>(i);
  }
  s.schema = std::move(schema);
  s.schemaVersion = version;
  NewCursor(s);
  const bool sameFields =
      std::equal(s.fields.begin(), s.fields.end(), s.schema.fields.begin(), s.schema.fields.end(),
                 [](const RecordField& a, const FieldSchema& b) {
                   return a.name == b.name && a.type == b.type;
                 });
  if (sameFields) return;
  // Other fields: the held record and any pending one no longer fit.
  DropPending();
  s.fields = TableFields(s.schema);
  if (!s.bof && !s.eof && !s.deleted) {
    std::optional<Row> row = s.source->Fetch(s.current.rowid);
    if (row) {
      s.current = std::move(*row);
    } else {
      s.deleted = true;
    }
  }
}

void CDaoRecordset::Open(CDaoQueryDef* queryDef, int openType, int options) {
  if (open_) ThrowDao(dao_error::kInvalidOperation, "The recordset is open already.");
  if (!queryDef || openType != dbOpenSnapshot || options != 0) {
    ThrowDao(dao_error::kInvalidArgument, "A query is opened as a snapshot, with no options.");
  }
  ResultSet result = queryDef->Rows();
  auto s = std::make_unique<State>();
  s->readOnly = true;
  s->name = queryDef->GetSQL().Utf8();
  s->fields = std::move(result.fields);
  s->source = std::make_unique<ResultRows>(std::move(result.rows));
  Start(std::move(s));
}

void CDaoRecordset::Close() noexcept {
  if (!open_) return;
  try {
    DropPending();
  } catch (const CDaoException&) {
    // The lock's commit failed and was rolled back (EditLock.cpp): nothing is held; close.
  }
  Internal(*database_).RemoveDependent(this);
  open_.reset();
}

Bstr CDaoRecordset::GetName() const {
  return Bstr::FromUtf8Lossy(Require().name);
}

void CDaoRecordset::SetLockingMode(bool pessimistic) {
  pessimistic_ = pessimistic;
}

bool CDaoRecordset::CanUpdate() const {
  return open_ && open_->cursor && !open_->readOnly;
}

Bstr CDaoRecordset::GetCurrentIndex() const {
  State& s = Require();
  if (s.currentIndex < 0) return Bstr();
  return s.schema.indexes[s.currentIndex].info.m_strName;
}

void CDaoRecordset::SetCurrentIndex(const Bstr& name) {
  State& s = RequireTable();
  Refresh(s, true);
  const std::string wanted = NameUtf8(name, "index");
  int found = -1;
  for (size_t i = 0; i < s.schema.indexes.size() && !wanted.empty(); ++i) {
    if (EqualNoCase(s.schema.indexes[i].info.m_strName.Utf8(), wanted)) found = static_cast<int>(i);
  }
  if (!wanted.empty() && found < 0) {
    ThrowDao(dao_error::kNotAnIndex,
             Quoted(wanted) + " is not an index of the table " + Quoted(s.name) + ".");
  }
  DropPending();
  s.currentIndex = found;
  NewCursor(s);
  Land(s.source->First(false), true);
}

void CDaoRecordset::Land(std::optional<Row> row, bool forward) {
  State& s = *open_;
  s.deleted = false;
  if (row) {
    s.current = std::move(*row);
    s.bof = s.eof = false;
    return;
  }
  // Nothing there: an empty recordset is at both ends.
  const bool empty = !s.source->First(false);
  s.bof = !forward || empty;
  s.eof = forward || empty;
}

void CDaoRecordset::MoveFirst() {
  State& s = Require();
  DropPending();
  Land(s.source->First(false), true);
}

void CDaoRecordset::MoveLast() {
  State& s = Require();
  DropPending();
  Land(s.source->First(true), false);
}

void CDaoRecordset::MoveNext() {
  MoveBy(1);
}

void CDaoRecordset::MovePrev() {
  MoveBy(-1);
}

void CDaoRecordset::Move(int32_t rows) {
  if (rows != 0) return MoveBy(rows);
  State& s = Require();
  DropPending();
  const Row& row = CurrentRow();
  std::optional<Row> again = s.source->Fetch(row.rowid);
  if (!again) {
    s.deleted = true;
    ThrowDao(dao_error::kRecordDeleted, "The current record has been deleted.");
  }
  s.current = std::move(*again);
}

void CDaoRecordset::MoveBy(int64_t n) {
  State& s = Require();
  if ((n > 0 && s.eof) || (n < 0 && s.bof)) {
    ThrowDao(dao_error::kNoCurrentRecord, n > 0 ? "The recordset is past its last record."
                                                : "The recordset is before its first record.");
  }
  DropPending();
  const bool forward = n > 0;
  if (s.bof || s.eof) {
    // From one end towards the other: the first record there counts as one step.
    std::optional<Row> end = s.source->First(!forward);
    if (end && n != 1 && n != -1) end = s.source->Move(*end, forward ? n - 1 : n + 1);
    return Land(std::move(end), forward);
  }
  Land(s.source->Move(s.current, n), forward);
}

bool CDaoRecordset::IsBOF() const {
  return Require().bof;
}

bool CDaoRecordset::IsEOF() const {
  return Require().eof;
}

int32_t CDaoRecordset::GetRecordCount() {
  return static_cast<int32_t>(Require().source->Count());
}

int16_t CDaoRecordset::GetFieldCount() {
  State& s = Require();
  Refresh(s, false);
  return static_cast<int16_t>(s.fields.size());
}

size_t CDaoRecordset::FieldIndex(const Bstr& name) {
  State& s = Require();
  const std::string wanted = NameUtf8(name, "field");
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (size_t i = 0; i < s.fields.size(); ++i) {
      if (EqualNoCase(s.fields[i].name, wanted)) return i;
    }
    Refresh(s, true);  // a field added since the table was opened
  }
  ThrowDao(dao_error::kItemNotFound,
           "There is no field " + Quoted(wanted) + " in " + Quoted(s.name) + ".");
}

void CDaoRecordset::GetFieldInfo(int index, CDaoFieldInfo& info, uint32_t) {
  State& s = Require();
  if (static_cast<size_t>(index) >= s.fields.size()) Refresh(s, true);
  if (index < 0 || static_cast<size_t>(index) >= s.fields.size()) {
    ThrowDao(dao_error::kItemNotFound, "There is no field at position " + std::to_string(index) +
                                           " in " + Quoted(s.name) + ".");
  }
  info = s.fields[index].info;
}

void CDaoRecordset::GetFieldInfo(const Bstr& name, CDaoFieldInfo& info, uint32_t) {
  info = Require().fields[FieldIndex(name)].info;
}

const Row& CDaoRecordset::CurrentRow() const {
  const State& s = Require();
  if (s.bof || s.eof) ThrowDao(dao_error::kNoCurrentRecord, "There is no current record.");
  if (s.deleted) ThrowDao(dao_error::kRecordDeleted, "The current record has been deleted.");
  return s.current;
}

Variant CDaoRecordset::GetFieldValue(int index) {
  const State& s = Require();
  if (index < 0 || static_cast<size_t>(index) >= s.fields.size()) {
    ThrowDao(dao_error::kItemNotFound, "There is no field at position " + std::to_string(index) +
                                           " in " + Quoted(s.name) + ".");
  }
  const FieldType* type = s.fields[index].type;
  if (s.pending != Pending::kNone) return ToVariant(ViewOf(s.pendingValues[index]), type);
  return ToVariant(s.source->Value(CurrentRow(), index), type);
}

Variant CDaoRecordset::GetFieldValue(const Bstr& name) {
  return GetFieldValue(static_cast<int>(FieldIndex(name)));
}

bool CDaoRecordset::Seek(const char* comparison, const Variant* key1, const Variant* key2,
                         const Variant* key3) {
  Variant keys[3];
  uint16_t count = 0;
  for (const Variant* key : {key1, key2, key3}) {
    if (!key) break;
    keys[count++] = *key;
  }
  return Seek(comparison, keys, count);
}

bool CDaoRecordset::Seek(const char* comparison, const Variant* keys, uint16_t count) {
  State& s = RequireTable();
  if (s.currentIndex < 0) {
    ThrowDao(dao_error::kNeedsIndex, "A seek needs a current index on " + Quoted(s.name) + ".");
  }
  if (!comparison || std::strcmp(comparison, "=") != 0) {
    ThrowDao(dao_error::kInvalidArgument, "A seek compares with \"=\" only.");
  }
  if (count == 0 || count > s.cursor->KeyCount()) {
    ThrowDao(dao_error::kInvalidArgument,
             "The index " + Quoted(s.schema.indexes[s.currentIndex].info.m_strName.Utf8()) +
                 " has " + std::to_string(s.cursor->KeyCount()) + " fields; the seek gave " +
                 std::to_string(count) + " keys.");
  }
  std::vector<StoredValue> converted;
  for (uint16_t k = 0; k < count; ++k) {
    const RecordField& f = s.fields[s.cursor->KeyField(k)];
    // A key longer than the field cannot match, which is a miss rather than a failure.
    converted.push_back(ToStoredValue(*f.type, INT32_MAX, keys[k]));
  }
  std::optional<Row> row = s.cursor->Seek(converted);
  if (!row) return false;
  DropPending();
  Land(std::move(row), true);
  return true;
}

int16_t CDaoRecordset::GetIndexCount() {
  State& s = Require();
  Refresh(s, true);
  return static_cast<int16_t>(s.schema.indexes.size());
}

void CDaoRecordset::GetIndexInfo(int index, CDaoIndexInfo& info, uint32_t) {
  State& s = Require();
  if (static_cast<size_t>(index) >= s.schema.indexes.size()) Refresh(s, true);
  if (index < 0 || static_cast<size_t>(index) >= s.schema.indexes.size()) {
    ThrowDao(dao_error::kItemNotFound, "There is no index at position " + std::to_string(index) +
                                           " in " + Quoted(s.name) + ".");
  }
  info = s.schema.indexes[index].info;
}

void CDaoRecordset::GetIndexInfo(const Bstr& name, CDaoIndexInfo& info, uint32_t) {
  State& s = Require();
  Refresh(s, true);
  const std::string wanted = NameUtf8(name, "index");
  for (const IndexSchema& index : s.schema.indexes) {
    if (!EqualNoCase(index.info.m_strName.Utf8(), wanted)) continue;
    info = index.info;
    return;
  }
  ThrowDao(dao_error::kItemNotFound,
           "There is no index " + Quoted(wanted) + " in " + Quoted(s.name) + ".");
}

}  // namespace vorlix
