// CDaoRecordset: the pending record, storing it, deleting, and bookmarks.
#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/ColumnValue.h"
#include "engine/recordsets/EditLock.h"
#include "engine/recordsets/Recordset.h"
#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// SQLite says only that a foreign key failed. Deleting, or an edit that wrote none of the
// record's own foreign key fields, can only orphan related records; otherwise a related record
// is missing.
void RethrowRelation(const CDaoException& e, bool orphans) {
  if (e.Code() == dao_error::kRelatedRecordRequired && orphans) {
    ThrowDao(dao_error::kRelatedRecordsExist,
             "The record cannot be changed or deleted: related records exist.");
  }
  throw e;
}

}  // namespace

CDaoRecordset::State& CDaoRecordset::RequireWritable() const {
  State& s = Require();
  if (!s.cursor || s.readOnly) {
    ThrowDao(dao_error::kReadOnly, "The recordset " + Quoted(s.name) + " is read-only.");
  }
  return s;
}

void CDaoRecordset::DropPending() {
  State& s = *open_;
  if (s.pending == Pending::kNone) return;
  s.pending = Pending::kNone;
  s.pendingValues.clear();
  s.written.clear();
  if (s.holdsLock) {
    s.holdsLock = false;
    ReleaseEditLock(*database_);
  }
}

void CDaoRecordset::SetFieldValue(const Bstr& name, const Variant& value) {
  State& s = Require();
  const size_t f = FieldIndex(name);  // first: finding a new field may drop the pending record
  if (s.pending == Pending::kNone) {
    ThrowDao(dao_error::kNoPendingUpdate, "A field is written only after AddNew or Edit.");
  }
  const RecordField& field = s.fields[f];
  if (field.autoIncrement) {
    ThrowDao(dao_error::kReadOnly,
             "The field " + Quoted(field.name) + " numbers itself and cannot be written.");
  }
  s.pendingValues[f] = ToStoredValue(*field.type, field.info.m_lSize, value);
  s.written[f] = true;
}

void CDaoRecordset::SetFieldValue(const Bstr& name, const Bstr& text) {
  SetFieldValue(name, Variant::Str(text));
}

void CDaoRecordset::AddNew() {
  State& s = RequireWritable();
  DropPending();
  AcquireEditLock(*database_);
  s.holdsLock = true;
  s.pending = Pending::kAddNew;
  s.pendingValues.assign(s.fields.size(), StoredValue());
  s.written.assign(s.fields.size(), false);
}

void CDaoRecordset::Edit() {
  State& s = RequireWritable();
  DropPending();
  const int64_t rowid = CurrentRow().rowid;
  AcquireEditLock(*database_);
  // Read the record again under the lock: it is what the edit starts from.
  std::optional<Row> row;
  try {
    row = s.source->Fetch(rowid);
  } catch (const CDaoException&) {
    ReleaseEditLock(*database_);
    throw;
  }
  if (!row) {
    ReleaseEditLock(*database_);
    s.deleted = true;
    ThrowDao(dao_error::kRecordDeleted, "The current record has been deleted by another user.");
  }
  s.current = std::move(*row);
  s.holdsLock = true;
  s.pending = Pending::kEdit;
  s.pendingValues = s.current.values;
  s.written.assign(s.fields.size(), false);
}

void CDaoRecordset::Update(bool moveToNew) {
  State& s = Require();
  if (s.pending == Pending::kNone) {
    ThrowDao(dao_error::kNoPendingUpdate, "There is no AddNew or Edit to update.");
  }
  try {
    Store(s, moveToNew);
    if (s.holdsLock) {
      s.holdsLock = false;
      ReleaseEditLock(*database_);  // commits what Store wrote
    }
  } catch (const CDaoException&) {
    // Keep the values for another try, but not the lock.
    if (s.holdsLock) {
      s.holdsLock = false;
      ReleaseEditLock(*database_);
    }
    throw;
  }
  s.pending = Pending::kNone;
  s.pendingValues.clear();
  s.written.clear();
}

void CDaoRecordset::Store(State& s, bool moveToNew) {
  std::vector<size_t> columns;
  for (size_t f = 0; f < s.fields.size(); ++f) {
    if (!s.written[f]) continue;
    const RecordField& field = s.fields[f];
    const StoredValue& v = s.pendingValues[f];
    if (v.kind == StoredValue::kText && v.bytes.empty() && field.type->noCase &&
        !field.info.m_bAllowZeroLength) {
      ThrowDao(dao_error::kZeroLengthNotAllowed,
               "The field " + Quoted(field.name) + " does not allow a zero-length string.");
    }
    columns.push_back(f);
  }
  const std::string table = QuoteName(s.schema.name);
  vorlix::Store& db = Internal(*database_).Db();
  int64_t rowid = s.current.rowid;
  std::optional<Row> stored;  // the new record, when it is to become current
  const bool adding = s.pending == Pending::kAddNew;
  bool orphans = !adding;
  if (!adding) {
    for (const RelationSchema& r : Internal(*database_).Relations()) {
      if (!EqualNoCase(r.foreignTable, s.schema.name)) continue;
      for (const CDaoRelationFieldInfo& key : r.info.m_fieldInfos) {
        for (size_t f : columns)
          orphans = orphans && !EqualNoCase(s.fields[f].name, key.m_strForeignName.Utf8());
      }
    }
  }
  try {
    WriteLocked(*database_, [&] {
      std::string sql;
      if (adding) {
        if (columns.empty()) {
          sql = "INSERT INTO " + table + " DEFAULT VALUES";
        } else {
          std::string names, marks;
          for (size_t f : columns) {
            names += (names.empty() ? "" : ", ") + QuoteName(s.fields[f].name);
            marks += marks.empty() ? "?" : ", ?";
          }
          for (const RecordField& field : s.fields) {
            if (!field.autoIncrement) continue;
            const std::string next = db.NextNumberSql(s.schema.name, field.name);
            if (next.empty()) continue;
            names += ", " + QuoteName(field.name);
            marks += ", " + next;
          }
          sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
        }
        sql = db.NumberedInsert(std::move(sql), s.cursor->Columns());
      } else if (!columns.empty()) {
        for (size_t f : columns)
          sql += (sql.empty() ? "" : ", ") + QuoteName(s.fields[f].name) + " = ?";
        sql = "UPDATE " + table + " SET " + sql + " WHERE rowid = ?";
      } else {
        return;  // an edit that changed nothing
      }
      Statement stmt = db.Cached(sql);
      int index = 1;
      for (size_t f : columns)
        stmt.Bind(index++, s.pendingValues[f]);
      if (!adding) {
        stmt.Bind(index, rowid).Run();
        if (db.Changes() == 0) {
          ThrowDao(dao_error::kRecordDeleted, "The record has been deleted by another user.");
        }
        return;
      }
      rowid = db.RunNumberedInsert(stmt, [&](const Statement& row) {
        if (moveToNew) stored = s.cursor->Read(row);
      });
      // Read back inside the write, so that a failure to read it undoes the record too.
      if (moveToNew && !stored && !(stored = s.source->Fetch(rowid))) {
        ThrowDao(dao_error::kRecordDeleted, "The new record cannot be read back.");
      }
    });
  } catch (const CDaoException& e) {
    RethrowRelation(e, orphans);
  }
  s.lastModified = rowid;
  if (stored) {
    Land(std::move(stored), true);
  } else if (!adding) {
    // The edited record stays current, with what it now holds (its number included).
    if (std::optional<Row> row = s.source->Fetch(rowid)) s.current = std::move(*row);
  }
}

void CDaoRecordset::CancelUpdate() {
  State& s = Require();
  if (s.pending == Pending::kNone) {
    ThrowDao(dao_error::kNoPendingUpdate, "There is no AddNew or Edit to cancel.");
  }
  DropPending();
}

void CDaoRecordset::Delete() {
  State& s = RequireWritable();
  DropPending();
  const int64_t rowid = CurrentRow().rowid;
  try {
    WriteLocked(*database_, [&] {
      Internal(*database_)
          .Db()
          .Cached("DELETE FROM " + QuoteName(s.schema.name) + " WHERE rowid = ?")
          .Bind(1, rowid)
          .Run();
      if (Internal(*database_).Db().Changes() == 0) {
        ThrowDao(dao_error::kRecordDeleted, "The record has been deleted by another user.");
      }
    });
  } catch (const CDaoException& e) {
    RethrowRelation(e, true);
  }
  s.deleted = true;
}

Variant CDaoRecordset::GetLastModifiedBookmark() const {
  const State& s = Require();
  if (!s.lastModified) ThrowDao(dao_error::kNoCurrentRecord, "No record has been stored yet.");
  return Variant::Signed(VT_I8, *s.lastModified);
}

Variant CDaoRecordset::GetBookmark() const {
  return Variant::Signed(VT_I8, CurrentRow().rowid);
}

void CDaoRecordset::SetBookmark(const Variant& bookmark) {
  State& s = Require();
  if (bookmark.vt() != VT_I8) ThrowDao(dao_error::kInvalidBookmark, "That is not a bookmark.");
  std::optional<Row> row = s.source->Fetch(bookmark.AsSigned());
  if (!row) ThrowDao(dao_error::kRecordDeleted, "The bookmarked record no longer exists.");
  DropPending();
  Land(std::move(row), true);
}

}  // namespace vorlix
