// CDaoRecordset: the records of a table, or the rows of a query.
//
// A table-type recordset (Open(dbOpenTable, table)) is live: it keeps only the current
// record, and every move reads the table anew from that record's key in the current index
// (rowid order when none is set), so other users' additions and deletions show at the next
// move. A snapshot (Open(queryDef, dbOpenSnapshot)) holds the query's rows as they were when
// it was opened.
//
// Positions: before the first record (BOF), on a record, after the last (EOF); an empty
// recordset is at both. A move past either end sets the flag without failing; a move forward
// from EOF or backward from BOF, and reading with no current record, raise 3021.
//
// Writing (table-type only): AddNew or Edit starts a pending record, which holds the file's
// write lock (EditLock.h) until Update stores it or CancelUpdate drops it. A failed Update
// keeps the pending values and releases the lock; the next AddNew, Edit or move drops them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/Bstr.h"
#include "automation/Variant.h"
#include "engine/DaoInfo.h"
#include "engine/database/Database.h"
#include "engine/recordsets/ResultSet.h"
#include "engine/recordsets/TableCursor.h"
#include "engine/schema/Schema.h"

namespace vorlix {

class CDaoQueryDef;

// Open types and options.
inline constexpr int dbOpenTable = 1;
inline constexpr int dbOpenSnapshot = 4;
inline constexpr int dbReadOnly = 4;

class CDaoRecordset : public CDaoDatabase::Dependent {
 public:
  explicit CDaoRecordset(CDaoDatabase* database) : database_(database) {}
  ~CDaoRecordset();  // closes the recordset if it is open
  CDaoRecordset(const CDaoRecordset&) = delete;
  CDaoRecordset& operator=(const CDaoRecordset&) = delete;

  // Opens the table source (matched without regard to case) as a table-type recordset,
  // positioned on its first record in rowid order. options: 0 or dbReadOnly (always so for the
  // engine's MSys catalog tables and on a read-only database). Raises 3078 when
  // there is no such table, 3219 for a link or a table without rowids (neither can be walked
  // by rowid; reach links through SQL), 3001 for another open type or option, 3219 when this
  // recordset is open already.
  void Open(int openType, const Bstr& source, int options = 0);
  // Runs the query's statement and holds its rows, positioned on the first. openType must be
  // dbOpenSnapshot. Raises what running the query raises (CDaoQueryDef), 3219 for a statement
  // that returns no rows or changes the database.
  void Open(CDaoQueryDef* queryDef, int openType = dbOpenSnapshot, int options = 0);
  // Drops a pending record (releasing its lock) and closes. Does nothing when closed.
  void Close() noexcept;
  bool IsOpen() const { return open_ != nullptr; }

  // The table's name (as stored), or the query's statement for a snapshot.
  Bstr GetName() const;
  // Locking is always pessimistic (see above); the setting is kept for callers that read it.
  void SetLockingMode(bool pessimistic);
  bool GetLockingMode() const { return pessimistic_; }
  bool CanUpdate() const;

  // The current index's name, empty when none is set.
  Bstr GetCurrentIndex() const;
  // Orders the records by the index name (matched without regard to case; empty: rowid
  // order) and moves to the first. Raises 3800 when the table has no such index.
  void SetCurrentIndex(const Bstr& name);

  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrev();
  // Moves rows records from the current one (0 rereads it). From BOF a move forward counts
  // the first record as 1; from EOF a move backward counts the last as 1.
  void Move(int32_t rows);
  bool IsBOF() const;
  bool IsEOF() const;
  // The number of records (table: counted now; snapshot: its rows).
  int32_t GetRecordCount();

  // Fields and indexes added to the table since it was opened show: those added through this
  // database object here, those added by anyone in SetCurrentIndex, GetIndexCount,
  // GetIndexInfo and when a field or index asked for is not known. The current record is
  // then read again.
  int16_t GetFieldCount();
  // Field information by position or by name (without regard to case); 3265 when there is
  // none. Records are always filled whole, whatever the level.
  void GetFieldInfo(int index, CDaoFieldInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);
  void GetFieldInfo(const Bstr& name, CDaoFieldInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);
  // The field's value in the current record (in the pending record during AddNew or Edit).
  // Raises 3265 for a missing field, 3021 with no current record, 3167 when the current
  // record was deleted through this recordset.
  Variant GetFieldValue(int index);
  Variant GetFieldValue(const Bstr& name);
  void GetFieldValue(int index, Variant& value) { value = GetFieldValue(index); }

  // Writes into the pending record, converted to the field's type. Raises 3020 without a
  // pending AddNew or Edit, 3265 for a missing field, 3027 for an auto-increment field, 3421
  // for a value that does not convert, 3163 for a value longer than the field's size.
  void SetFieldValue(const Bstr& name, const Variant& value);
  void SetFieldValue(const Bstr& name, const Bstr& text);

  // Starts a new record / an edit of the current one, taking the write lock. Raises 3027 on a
  // read-only recordset or database, 3260 when another user holds the lock; Edit raises 3021
  // with no current record and 3167 when it was deleted (by anyone).
  void AddNew();
  void Edit();
  // Stores the pending record: Null in a required field raises 3314, "" where zero-length
  // strings are not allowed 3315, a duplicate in a unique index 3022, a missing related
  // record 3201, a change that would orphan related records 3200; 3260 when another user
  // holds the lock. After AddNew the position stays where it was (GetLastModifiedBookmark
  // names the new record) unless moveToNew, when the new record becomes current, read back
  // under the lock that stored it (which spares a transaction of its own); after Edit the
  // edited record stays current.
  void Update(bool moveToNew = false);
  // Drops the pending record and releases the lock; 3020 when there is none.
  void CancelUpdate();
  // Deletes the current record. The position stays on it (reading it raises 3167) until a
  // move. Raises 3021 with no current record, 3027 when read-only, 3200 when related records
  // exist, 3260 when another user is writing.
  void Delete();

  // Bookmarks are rowids: stable identities of records that survive other users' changes.
  // The last record stored by Update; 3021 when none was.
  Variant GetLastModifiedBookmark() const;
  Variant GetBookmark() const;
  // Makes the record of bookmark current. Raises 3159 for something that is not a bookmark of
  // this recordset, 3167 when its record no longer exists.
  void SetBookmark(const Variant& bookmark);

  // Finds the first record whose current-index fields equal the keys (a prefix when fewer
  // keys than fields are given) and makes it current. Keys are converted to the fields'
  // types like written values; Text matches without regard to case. Returns false and leaves
  // the position alone when nothing matches. Raises 3019 without a current index, 3001 for
  // more keys than index fields or a comparison other than "=".
  bool Seek(const char* comparison, const Variant* key1, const Variant* key2 = nullptr,
            const Variant* key3 = nullptr);
  bool Seek(const char* comparison, const Variant* keys, uint16_t count);

  int16_t GetIndexCount();
  // Index information by position or by name; 3265 when there is none.
  void GetIndexInfo(int index, CDaoIndexInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);
  void GetIndexInfo(const Bstr& name, CDaoIndexInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);

  void OnDatabaseClose() noexcept override { Close(); }

 private:
  enum class Pending { kNone, kAddNew, kEdit };

  // What an open recordset holds.
  struct State {
    bool readOnly;
    std::string name;
    std::vector<RecordField> fields;
    // Table-type.
    TableSchema schema;
    int64_t schemaVersion = 0;   // the file's schema version when schema was read
    uint64_t schemaChanges = 0;  // the database object's count of its own changes then
    int currentIndex = -1;       // position in schema.indexes
    // Where the rows come from: a TableCursor (cursor then points at it) or a snapshot's rows.
    std::unique_ptr<RowSource> source;
    TableCursor* cursor = nullptr;

    bool bof = true;
    bool eof = true;
    Row current;           // valid when neither bof nor eof
    bool deleted = false;  // the current record is known to be deleted
    std::optional<int64_t> lastModified;

    Pending pending = Pending::kNone;
    bool holdsLock = false;
    std::vector<StoredValue> pendingValues;
    std::vector<bool> written;  // which pending fields were set
  };

  State& Require() const;
  State& RequireTable() const;
  // Reads the table's fields and indexes again when the schema has changed since: asking the
  // file (a statement) when askFile, else only noticing this database object's own changes.
  void Refresh(State& s, bool askFile);
  size_t FieldIndex(const Bstr& name);
  // The current record; 3021 without one, 3167 when it was deleted.
  const Row& CurrentRow() const;
  // Takes s as this recordset's state and moves to the first record; closes again on failure.
  void Start(std::unique_ptr<State> s);
  // Makes row current; without one, the position is past the end moved towards.
  void Land(std::optional<Row> row, bool forward);
  void DropPending();
  void MoveBy(int64_t n);
  // Walks the table s holds in the order of its current index (rowid order when none).
  void NewCursor(State& s);
  State& RequireWritable() const;
  void Store(State& s, bool moveToNew);

  CDaoDatabase* database_;
  std::unique_ptr<State> open_;
  bool pessimistic_ = true;
};

}  // namespace vorlix
