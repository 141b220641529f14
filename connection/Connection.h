// CDBConnection: one client's connection to the database engine. It owns at most one open
// database, the open-table list whose head is the current table (the table every record-level
// method acts on), the cursors and the transaction of the extension's statements, and the error
// record that tells a client why a call failed.
//
// Every public method has the dispatch interface's shape: [in] values, [out] pointers, an
// HRESULT. It is a thin wrapper around one worker (CallFrame.h): the wrapper writes the
// worker's result into the [out, retval] parameter (a Boolean as VARIANT_TRUE or
// VARIANT_FALSE) and returns S_OK whatever happened, so clients learn of failure from the
// result and IsDAOError/GetLastDAOError. GetFieldCount, GetFieldName and GetFieldValue alone
// return S_FALSE, after an engine failure, and then write no out-parameter. A failure outside
// the engine (memory exhaustion) returns E_OUTOFMEMORY or E_FAIL instead and leaves the
// connection usable. Unless a method says otherwise it clears the error flag first.
//
// Out-parameters must point to objects. Calls come one at a time; the connection takes no
// locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

#include "automation/Bstr.h"
#include "automation/ColumnValues.h"
#include "automation/HResult.h"
#include "automation/VarType.h"
#include "automation/Variant.h"
#include "connection/LockRetry.h"
#include "engine/DaoException.h"
#include "engine/database/Database.h"
#include "engine/recordsets/ClientStatement.h"
#include "engine/recordsets/Recordset.h"
#include "engine/recordsets/Transaction.h"

namespace vorlix {

// How a long call shares the thread it runs on, for the server: a Yielder, called every few
// thousand steps of a running statement, may run other work meanwhile and answers true when the
// call is to stop; a Stopper asks the call under way on the connection to stop and answers
// whether there was one. Without them (in-process) statements run to their end.
using Yielder = std::function<bool()>;
using Stopper = std::function<bool()>;

// What a result-set array may take on its way to the client, for the server: a lower bound of
// its size there (leastValue bytes an element at the least, leastText bytes plus its length a
// text) is checked before the array is built, and a result sure to pass bytes fails its call at
// once as out of memory (ResultTooLarge), as its reply would after all the work. In process
// nothing is bounded.
struct ResultBudget {
  size_t bytes = SIZE_MAX;
  size_t leastValue = 0;
  size_t leastText = 0;
  // The array is written into a reply once and then dropped, so its elements are made as they
  // are written (SafeArray::Made) and never held all at once. In process they are made before
  // the call returns: rows too many to hold fail the call, not a later read.
  bool writtenOnce = false;
};
struct ResultTooLarge : std::bad_alloc {};

class CDBConnection {
 public:
  // sleep makes the pauses of the lock-retry policy.
  explicit CDBConnection(Sleeper sleep = SleepFor, Yielder yield = {}, Stopper stop = {});
  void SetResultBudget(const ResultBudget& budget) { resultBudget_ = budget; }
  // Closes the cursors, rolls back the transaction, releases every open table, then closes the
  // database (the members' order).
  ~CDBConnection() = default;
  CDBConnection(const CDBConnection&) = delete;
  CDBConnection& operator=(const CDBConnection&) = delete;

  // Status and error record (connection/ErrorRecord.cpp). None of these clears the flag.
  // -1 when the database status is usable (0 or 1), whether or not a database is open.
  HRESULT StatusIsOk(VARIANT_BOOL* bStatusIsOk);
  // -1 while the error flag is set.
  HRESULT IsDAOError(VARIANT_BOOL* bError);
  // The last recorded failure's code and description, whatever the flag says; 0 and "" before
  // the first.
  HRESULT GetLastDAOError(int32_t* plErrorCode, Bstr* pbsDescription);
  // Always 1.
  HRESULT GetVorlixVersion(int16_t* nVersion);

  // Database lifecycle (connection/Lifecycle.cpp). Opening closes the open database and its
  // tables first, even when the new open then fails.
  // *psSuccess: the engine's name of the opened database. When the file is held exclusively
  // elsewhere or access is refused (3051), it is opened read-only instead, without recording
  // the first failure, and "" when that fails too; "*REPAIR*" after any other failure.
  HRESULT Open(const Bstr& sFileName, VARIANT_BOOL bExclusive, VARIANT_BOOL bReadOnly,
               Bstr* psSuccess);
  // Opens sFileName shared for reading and writing. After 3051 nothing is open, nothing is
  // recorded and the result is -1 with *bReadOnly -1: the file can at best be read (Open).
  HRESULT OpenForWrite(const Bstr& sFileName, VARIANT_BOOL* bReadOnly, VARIANT_BOOL* bSuccess);
  // Closes every table, then the database; 0 (unrecorded) only when the database's close fails.
  HRESULT Close(VARIANT_BOOL* bSuccess);
  // Does not clear the flag.
  HRESULT IsOpen(VARIANT_BOOL* bIsOpen);
  // "" when no database is open.
  HRESULT GetName(Bstr* psName);
  // The same name, for the server's status report: no call of the interface, so it leaves the
  // error record as it is.
  std::string OpenDatabaseName() const;
  // -1 unless an open database can be updated.
  HRESULT ReadOnly(VARIANT_BOOL* bIsReadOnly);
  // The opposite of ReadOnly; does not clear the flag.
  HRESULT CanUpdate(VARIANT_BOOL* bCanUpdate);

  // Catalogue reports (catalogue/CatalogueReports.cpp). A report array is a VT_ARRAY|VT_VARIANT
  // from 0, written only on success. Names are compared exactly, case included.
  // The table definitions' names, leaving out those whose first two characters are "MS".
  HRESULT ListTables(Variant* pvTables, VARIANT_BOOL* bSuccess);
  // *bExists: whether a table definition, system and linked ones included, has this name.
  HRESULT Exist(const Bstr& sTableName, VARIANT_BOOL* bExists, VARIANT_BOOL* bSuccess);
  // The current table's fields as name and blank value pairs, the blank chosen by type: VT_I4 0
  // (Boolean, Byte, Integer, Long), VT_R8 0 (Single, Double), VT_BSTR "" (Date, Text, Memo),
  // else VT_EMPTY. Needs no current record.
  HRESULT Structure(Variant* pvStructure, VARIANT_BOOL* bSuccess);
  // The current table's index names.
  HRESULT ListIndexes(Variant* pvIndexes, VARIANT_BOOL* bSuccess);
  // Eight key and value pairs describing the named field of the current table; needs a current
  // record (0, unrecorded, without one).
  HRESULT GetAttributes(const Bstr& sFieldName, Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  // Makes sTableName current as Table does, without setting an index, then tells whether the
  // field is required (0 for the empty name). -1 without doing anything when no database is
  // open.
  HRESULT Required(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL* bRequired,
                   VARIANT_BOOL* bSuccess);

  // Statements and saved queries (catalogue/Queries.cpp, catalogue/Commands.cpp). None of them
  // touches the open tables. Rows come back as a result-set array (ResultSetArray.cpp).
  HRESULT SQL(const Bstr& sSql, Variant* pvRecordArray, VARIANT_BOOL* bSuccess);
  // Runs the saved query sQueryName with the parameters of pvParameterArray, a one-dimensional
  // VARIANT array of name (VT_BSTR) and value pairs; any other argument, or a name that is not
  // a string, gives 0 with nothing recorded and no query run. -1 without a database.
  HRESULT Query(const Bstr& sQueryName, const Variant& pvParameterArray, Variant* pvRecordArray,
                VARIANT_BOOL* bSuccess);
  // Runs an action statement; 0, unrecorded, on a database that cannot be updated. -1 without a
  // database.
  HRESULT Command(const Bstr& sCommand, VARIANT_BOOL* bSuccess);
  HRESULT CommandWithRecords(const Bstr& sCommand, int32_t* iRecordsUpdated,
                             VARIANT_BOOL* bSuccess);
  // Replaces the statement of the saved query sQueryName, or saves a new one; a new one leaves
  // the failure to find it recorded although the result is -1. -1 without a database.
  HRESULT CreateQuery(const Bstr& sQueryName, const Bstr& sSql, VARIANT_BOOL* bSuccess);

  // Database files (connection/DatabaseFiles.cpp), whatever is open on this connection.
  // Creates an empty database file and closes it again. Does not clear the flag.
  HRESULT CreateDatabase(const Bstr& sDatabaseName, VARIANT_BOOL* bSuccess);
  // Writes a compacted copy of sOldName to sNewName, which must not exist; sOldName must not be
  // open in this process.
  HRESULT Compact(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess);

  // Open-table list (connection/OpenTables.cpp). Names are compared exactly with the names the
  // engine reports for open tables, so a name in another case opens a second recordset.
  // Makes sTableName current: an open table changes places with the head (a swap, not a move
  // to the front); another is opened at the head. A non-empty sIndex then becomes its current
  // index. -1 without doing anything when no database is open.
  HRESULT Table(const Bstr& sTableName, const Bstr& sIndex, VARIANT_BOOL* bSuccess);
  // Closes the open table named bsTableName, if any. Does not clear the flag.
  HRESULT CloseTable(const Bstr& bsTableName);
  // Closes the current table; the next one becomes current.
  HRESULT CloseCurrentTable(VARIANT_BOOL* bSuccess);
  HRESULT CloseAllTables(VARIANT_BOOL* bSuccess);
  // -1 when no table is open. Does not clear the flag.
  HRESULT TableIsReady(VARIANT_BOOL* bTableIsReady);
  // The current table's name, its current index's name; "" when there is none.
  HRESULT GetCurrentTable(Bstr* psName);
  HRESULT GetCurrentIndex(Bstr* psName);

  // Schema definition (schema/). With no database open each of these reports -1 and does
  // nothing more.
  // CreateTable and ModifyTable read pvFieldInfo, a field specification array
  // (schema/FieldRecords.h) held by value as a one-dimensional array of VARIANTs.
  // Anything else gives 0 before any work, even with no database open, the error flag left as
  // it was. Both close the open table sTableName first and leave it closed.
  // Creates sTableName with the described fields and indexes. The table is made with what the
  // array gave even when it stopped early; the result is then 0.
  HRESULT CreateTable(const Bstr& sTableName, const Variant& pvFieldInfo, VARIANT_BOOL* bSuccess);
  // Adds the described fields and indexes to the existing table; those added before a stop
  // stay.
  HRESULT ModifyTable(const Bstr& sTableName, const Variant& pvFieldInfo, VARIANT_BOOL* bSuccess);
  // Adds an ascending index named after sFieldName; any non-zero flag counts as set. Closes
  // nothing.
  HRESULT CreateIndex(const Bstr& sTableName, const Bstr& sFieldName, VARIANT_BOOL bUnique,
                      VARIANT_BOOL bPrimary, VARIANT_BOOL* bSuccess);
  // Closes the open table sOldName first, whatever follows.
  HRESULT RenameTable(const Bstr& sOldName, const Bstr& sNewName, VARIANT_BOOL* bSuccess);
  // Closes the open table sTableName, deletes, when bDeleteRelations is exactly -1, every
  // relation with sTableName on either side (names compared exactly), then the table.
  // Relations deleted before a failure stay deleted.
  HRESULT DeleteTable(const Bstr& sTableName, VARIANT_BOOL bDeleteRelations,
                      VARIANT_BOOL* bSuccess);
  // Links sTableName to sSourceTable of the file sDatabaseName. -1 whatever happens once a
  // database is open: *bCreated tells whether the link was made.
  HRESULT LinkTable(const Bstr& sTableName, const Bstr& sDatabaseName, const Bstr& sSourceTable,
                    VARIANT_BOOL* bCreated, VARIANT_BOOL* bSuccess);
  // *bExists: -1 when a relation has the name, as the engine matches it; 0 otherwise, also
  // when no database is open. A missing relation is not a failure.
  HRESULT RelationExists(const Bstr& sRelationName, VARIANT_BOOL* bExists, VARIANT_BOOL* bSuccess);
  // Deletes every relation whose primary table is sTableName and whose foreign table is
  // sForeignTableName (names compared exactly); -1 also when none matched.
  HRESULT RelationDelete(const Bstr& sTableName, const Bstr& sForeignTableName,
                         VARIANT_BOOL* bSuccess);

  // Field access on the current record (connection/FieldAccess.cpp). Positions count from 0
  // and are not checked here: the engine refuses those outside the fields. The positional
  // three do not clear the flag.
  HRESULT GetFieldCount(int16_t* piFieldCount, VARIANT_BOOL* bSuccess);
  HRESULT GetFieldName(int16_t iIndex, Bstr* psFieldName, VARIANT_BOOL* bSuccess);
  HRESULT GetFieldValue(int16_t iIndex, Variant* pvFieldValue, VARIANT_BOOL* bSuccess);
  // *pvFieldValue is Null unless the value was read.
  HRESULT GetFieldValueFromName(const Bstr& sFieldName, Variant* pvFieldValue,
                                VARIANT_BOOL* bSuccess);

  // Navigation of the current table (records/Navigation.cpp). A method that lands on a record
  // returns it as a record array (records/RecordArray.cpp) and leaves the array untouched
  // otherwise: at either end, past either end, or on failure.
  HRESULT Top(Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  HRESULT Bottom(Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  // Moves iSkip records in one engine move; 0 for iSkip 0, and without moving forward from EOF
  // or backward from BOF.
  HRESULT Skip(int32_t iSkip, Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  HRESULT GetRecord(Variant* pvRecordArray, VARIANT_BOOL* bSuccess);
  // 0 also when there is no current table.
  HRESULT IsEOF(VARIANT_BOOL* bIsEOF);
  HRESULT IsBOF(VARIANT_BOOL* bIsBOF);
  // Writes 0 into *piCount before anything else.
  HRESULT Count(int32_t* piCount, VARIANT_BOOL* bSuccess);

  // Seek on the current index (records/Seek.cpp). Finds the first record whose index fields
  // equal the keys, handed to the engine unchanged in index order, and returns it as a record
  // array. 0 with nothing recorded when the table has no current index or nothing matches;
  // the cursor then stays where it was.
  HRESULT Seek(const Variant& pvSeek, Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  HRESULT Seek2(const Variant& pvSeek1, const Variant& pvSeek2, Variant* pvReturnArray,
                VARIANT_BOOL* bSuccess);
  HRESULT Seek3(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  // Uses the first iNum keys and reads no other; a count outside 1 to 10 finds nothing.
  HRESULT Seek10(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                 const Variant& pvSeek4, const Variant& pvSeek5, const Variant& pvSeek6,
                 const Variant& pvSeek7, const Variant& pvSeek8, const Variant& pvSeek9,
                 const Variant& pvSeek10, int32_t iNum, Variant* pvReturnArray,
                 VARIANT_BOOL* bSuccess);

  // Record writing (records/RecordWriting.cpp). 0 with nothing recorded when the database
  // cannot be updated. A value array is a one-dimensional VARIANT array of name/value pairs
  // from any lower bound (a record array is one): names are VT_BSTR; auto-increment fields are
  // skipped; a string is cut to a Text field's size (never through a character), and "" is
  // written as " "; other values go to the engine as they are. An array that is not of that
  // shape, a name that is not a string, a name the table has no field for or a value its field
  // refuses gives 0 with nothing stored and nothing recorded.
  // The client's array is never changed. A lock held by another user is waited for, up to
  // 20 attempts with a pause of 10 to 499 ms after each; 0 with the flag clear when it
  // outlasts them.
  // Adds a record and returns it as stored, the engine's values included; it becomes the
  // current record. With bSetEmptyString -1 (only that value) the required Text and Memo
  // fields start as their default text, else "" where allowed, else " ".
  HRESULT Append(const Variant& pvArray, VARIANT_BOOL bSetEmptyString, Variant* pvReturnArray,
                 VARIANT_BOOL* bSuccess);
  // Overwrites the named fields of the current record and returns it as stored.
  HRESULT Replace(const Variant& pvArray, Variant* pvReturnArray, VARIANT_BOOL* bSuccess);
  // Deletes the current record; the cursor stays on it until the client moves.
  HRESULT Delete(VARIANT_BOOL* bSuccess);

  // Statements with bound parameters, cursors and transactions (statements/), the extension
  // interface's methods. They need an open database: without one, or on any failure, the result
  // is 0 and the error record says why. pvParams is VT_EMPTY (no parameters) or a
  // one-dimensional VARIANT array, bound as ClientStatement::Bind says. Cursor ids count from 1
  // and are never reused by the connection; a cursor lives until CloseCursor, the database's
  // close or the connection's end.
  // Runs a statement: one that returns no rows at once, giving the records it changed and the
  // last inserted row id (VT_I8); one that reads rows opens a cursor, as OpenCursor does.
  HRESULT Execute(const Bstr& sSql, const Variant& pvParams, int32_t* plRowsAffected,
                  Variant* pvLastRowId, int32_t* plCursor, Variant* pvColumns,
                  VARIANT_BOOL* bSuccess);
  // Opens a cursor on a statement that reads rows (3219 for one that does not), and describes
  // its columns (statements/ColumnArrays.h).
  HRESULT OpenCursor(const Bstr& sSql, const Variant& pvParams, int32_t* plCursor,
                     Variant* pvColumns, VARIANT_BOOL* bSuccess);
  // Reads up to iRows (at least 1) more rows of the cursor as column arrays
  // (statements/ColumnArrays.h), *plRows of them; fewer than iRows once the rows end.
  HRESULT Fetch(int32_t iCursor, int32_t iRows, Variant* pvColumns, Variant* pvNulls,
                int32_t* plRows, VARIANT_BOOL* bSuccess);
  // The same rows as Fetch, its columns not yet made Automation arrays, for a caller that
  // encodes them itself.
  HRESULT FetchColumns(int32_t iCursor, int32_t iRows, std::vector<ColumnValues>* columns,
                       int32_t* plRows, VARIANT_BOOL* bSuccess);
  HRESULT CloseCursor(int32_t iCursor, VARIANT_BOOL* bSuccess);
  // The connection's one transaction (engine/Transaction.h).
  HRESULT BeginTrans(VARIANT_BOOL* bSuccess);
  HRESULT CommitTrans(VARIANT_BOOL* bSuccess);
  HRESULT Rollback(VARIANT_BOOL* bSuccess);
  // Runs a statement that returns no rows once per element of pvRows, a one-dimensional
  // VARIANT array of parameter arrays, all in one transaction: every row is kept, or none.
  HRESULT ExecuteMany(const Bstr& sSql, const Variant& pvRows, int32_t* plRowsAffected,
                      VARIANT_BOOL* bSuccess);
  // Asks the call under way on this connection to stop (its statement then fails with 3059);
  // -1 when there was one. It comes while that call is suspended, so it touches nothing else,
  // the error record included.
  HRESULT Cancel(VARIANT_BOOL* bCancelled);

 private:
  using TableList = std::list<std::unique_ptr<CDaoRecordset>>;

  // The call frame's half inside the worker (connection/CallFrame.cpp). A worker begins with
  //   if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  // (true instead of false for the methods that report success without a database), then
  // does its engine work inside Capture; a record writer runs its attempt as
  // Capture([&] { return RetryOnLock(attempt, sleep_); }).
  enum class ErrorFlag { kClear, kKeep };
  // Entry-check counts the methods use: status and database open; all five.
  static constexpr int kDatabaseOpen = 2;
  static constexpr int kCurrentTableOpen = 5;
  // Clears the error flag unless kKeep, then makes the first `checks` of the entry checks in
  // their order: status usable, database open, list not empty, head holds a recordset, that
  // recordset open. False when one fails; nothing is recorded and the engine is not called.
  bool Enter(ErrorFlag flag, int checks);
  bool StatusUsable() const;
  // The failure capture: runs work (returning void or bool); an engine failure it raises is
  // recorded and released (with the transaction, when the engine rolled it back), and the
  // result is false. Otherwise the result is work's (true for void).
  template <typename Work>
  bool Capture(Work work) {
    try {
      if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
        work();
        return true;
      } else {
        return work();
      }
    } catch (const CDaoException& failure) {
      transaction_.EndIfRolledBack();
      RecordError(failure);
      return false;
    }
  }
  // Sets the error flag and keeps the failure's code and description.
  void RecordError(const CDaoException& failure);
  // The head's recordset; only after Enter with kCurrentTableOpen.
  CDaoRecordset& CurrentTable() { return *tables_.front(); }

  // Workers (the trivial ones are lambdas in their wrappers).
  // Clears the error flag, then closes the open database and every table.
  void CloseBeforeOpening();
  Bstr OpenDatabase(const Bstr& name, VARIANT_BOOL exclusive, VARIANT_BOOL readOnly);
  bool OpenDatabaseForWrite(const Bstr& name, VARIANT_BOOL* readOnly);
  bool CloseDatabase();
  // Catalogue and query workers (catalogue/).
  bool ListTableNames(Variant* out);
  bool TableExists(const Bstr& name, VARIANT_BOOL* exists);
  bool BuildStructure(Variant* out);
  bool ListIndexNames(Variant* out);
  bool ReadAttributes(const Bstr& field, Variant* out);
  bool ReadRequired(const Bstr& table, const Bstr& field, VARIANT_BOOL* required);
  // Makes result's result-set array in *out, VT_EMPTY when it has no rows. Throws
  // ResultTooLarge when the budget cannot hold it, std::bad_alloc when memory cannot.
  void BuildResultSetArray(ResultSet result, Variant* out);
  // The most rows of a result with these fields that the budget can hold, counting for each
  // the least its row of the result-set array takes.
  size_t MostRows(const std::vector<RecordField>& fields) const;
  // Reads query's rows and makes their result-set array in *out. False with *out
  // untouched on an engine failure (recorded) or when the rows do not fit in memory (not
  // recorded).
  bool ReadQueryRows(CDaoQueryDef& query, Variant* out);
  bool RunSql(const Bstr& sql, Variant* out);
  bool RunSavedQuery(const Bstr& name, const Variant& parameters, Variant* out);
  // Runs an action statement and puts the number of records it affected into *count.
  bool ExecuteCommand(const Bstr& sql, int32_t* count);
  bool SaveQuery(const Bstr& name, const Bstr& sql);
  // Clears the error flag and releases every table; true (closing a recordset cannot fail).
  bool CloseTables();
  // Closes and deletes every open table, head first.
  void ReleaseAllTables();
  bool OpenTable(const Bstr& name, const Bstr& index);
  // Makes name the current table: an open one changes places with the head, another is opened
  // at the head. False after a recorded failure, with the list as it was.
  bool MakeCurrent(const Bstr& name);
  void CloseTableNamed(const Bstr& name);
  // The first node from the head whose recordset reports name, or end().
  TableList::iterator FindOpenTable(const Bstr& name);
  // Schema workers (schema/).
  // CreateTable (create) or ModifyTable. fieldInfo without a field specification array is
  // refused first, before the error flag is cleared.
  bool DefineTable(const Bstr& name, const Variant& fieldInfo, bool create);
  bool AddIndex(const Bstr& table, const Bstr& field, bool unique, bool primary);
  bool RenameTableTo(const Bstr& oldName, const Bstr& newName);
  bool DropTable(const Bstr& name, VARIANT_BOOL deleteRelations);
  bool MakeLink(const Bstr& name, const Bstr& file, const Bstr& source, VARIANT_BOOL* created);
  bool FindRelation(const Bstr& name, VARIANT_BOOL* exists);
  bool DropRelations(const Bstr& table, const Bstr& foreignTable);
  // Field reads: nullopt after a captured engine failure (the wrapper returns S_FALSE).
  std::optional<bool> ReadFieldCount(int16_t* count);
  std::optional<bool> ReadFieldName(int16_t index, Bstr* name);
  std::optional<bool> ReadFieldValue(int16_t index, Variant* value);
  bool ReadFieldValueByName(const Bstr& name, Variant* value);
  // Puts the current record as a record array into *out: 2n elements from 0, field i's name
  // (VT_BSTR) at 2i and its value as the engine reads it at 2i + 1. False with *out untouched
  // when there is no current record or on failure (recorded).
  bool BuildRecordArray(Variant* out);
  // Moves the current table to its first or last record, then builds the record array.
  bool MoveToEnd(bool last, Variant* out);
  bool SkipRecords(int32_t count, Variant* out);
  bool CountRecords(int32_t* count);
  // Seek and record writing.
  // The first record whose current-index fields equal keys, as a record array in *out; false
  // without asking the engine when keys is empty or the table has no current index.
  bool SeekRecord(const std::vector<Variant>& keys, Variant* out);
  // The entry checks of the record writers: the five, then a database that can be updated.
  bool EnterWriter();
  // Append (adding, with the preset when preset) and Replace: writes the pairs of values into
  // a new record or the current one under the lock-retry policy, then builds its record array.
  bool WriteRecord(const Variant& values, bool adding, bool preset, Variant* out);
  bool DeleteRecord();
  // Writes the pairs of values into table's pending record. False at the first name that is
  // not VT_BSTR or the first engine failure, which is dropped unrecorded; the pairs before it
  // stay written.
  static bool WriteRecordValues(const SafeArray& values, CDaoRecordset& table);
  // Gives the required Text and Memo fields of table's pending new record their starting
  // text. Stops at the first engine failure, which is dropped unrecorded.
  static void PresetRequiredTextFields(CDaoRecordset& table);
  // Statement workers (statements/Statements.cpp).
  // Prepares sql with params bound; raises as ClientStatement does.
  std::unique_ptr<ClientStatement> Prepare(const Bstr& sql, const std::vector<Variant>& params);
  // Keeps stmt as a new cursor: its id in *cursor and its columns in *columns.
  void KeepCursor(std::unique_ptr<ClientStatement> stmt, int32_t* cursor, Variant* columns);
  // The open cursor id; raises 3001 when there is none.
  ClientStatement& CursorOf(int32_t id);

  CDaoDatabase database_;
  TableList tables_;
  int32_t errorCode_ = 0;
  Bstr errorDescription_;
  bool errorFlag_ = false;
  // The pauses of RetryOnLock for the record writers.
  Sleeper sleep_;
  Stopper stop_;
  ResultBudget resultBudget_;
  // After the database, so that they end before it closes; the cursors first.
  CDaoTransaction transaction_{&database_};
  std::map<int32_t, std::unique_ptr<ClientStatement>> cursors_;
  int32_t lastCursor_ = 0;
};

}  // namespace vorlix
