// CDaoQueryDef: a statement with its parameters, run as an action (Execute) or opened as a
// snapshot recordset. A temporary query (created with the empty name) lives in this object
// only; a saved one is kept in the catalog once appended.
//
// The dialect is SQLite's, with [bracketed names], the field types' names in DDL, and an
// optional leading "PARAMETERS name type, ...;" whose parameters the statement names in
// brackets. Links to tables of other files are reached by their link names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/Bstr.h"
#include "automation/Variant.h"
#include "engine/database/Database.h"
#include "engine/recordsets/QueryText.h"
#include "engine/recordsets/ResultSet.h"
#include "engine/schema/FieldValue.h"

namespace vorlix {

// Execute option: a failing statement changes nothing and raises. Statements always run
// that way here; the option is accepted for callers that pass it.
inline constexpr int dbFailOnError = 128;

class CDaoQueryDef : public CDaoDatabase::Dependent {
 public:
  explicit CDaoQueryDef(CDaoDatabase* database) : database_(database) {}
  ~CDaoQueryDef();
  CDaoQueryDef(const CDaoQueryDef&) = delete;
  CDaoQueryDef& operator=(const CDaoQueryDef&) = delete;

  // Starts a query: temporary with the empty name, else a new saved query that Append stores.
  // Raises 3125 for a bad name, 3075 for a declaration that cannot be read, 3219 when this
  // object is open already.
  void Create(const Bstr& name = Bstr(), const Bstr& sql = Bstr());
  // Opens the saved query name (matched without regard to case); 3078 when there is none.
  void Open(const Bstr& name);
  void Close() noexcept;
  bool IsOpen() const { return open_; }

  // Saves a query made by Create. Raises 3012 when a saved query or a table has the name,
  // 3219 for a temporary or already saved query, 3027 on a read-only database.
  void Append();

  Bstr GetName() const;
  Bstr GetSQL() const;
  // Replaces the statement (in the catalog at once for a saved query). Parameter values set
  // before are dropped. Raises 3075 as Create does.
  void SetSQL(const Bstr& sql);

  // Sets a declared parameter (name without brackets, without regard to case), converted to
  // its declared type. Raises 3265 when no parameter has the name, 3421/3163 as writing a
  // field of that type does.
  void SetParamValue(const Bstr& name, const Variant& value);

  // Runs an action statement atomically. Raises 3065 for a statement that returns rows, 3075
  // for a syntax error or a second statement in the text (the description quotes the text),
  // 3078 for a missing table, 3061 when a declared parameter has no value, 3219 for a
  // statement that manages the connection (PRAGMA, ATTACH, BEGIN ...), 3027 on a
  // read-only database, 3262 when another user is writing, and the codes of the constraints
  // a change breaks (3022, 3201, 3314 ...).
  void Execute(int options = dbFailOnError);
  // The number of records the last Execute added, changed or deleted.
  int32_t GetRecordsAffected() const { return recordsAffected_; }

  // Runs a row-returning statement and returns all its rows (what a snapshot holds), or one
  // more than limit allows when there are more. Raises as Execute does, and 3219 for a
  // statement that changes the database.
  ResultSet Rows(const RowLimit& limit = {});

  void OnDatabaseClose() noexcept override { Close(); }

 private:
  void RequireOpen() const;
  void SetText(std::string sql);
  Statement Prepare();

  CDaoDatabase* database_;
  bool open_ = false;
  bool saved_ = false;  // in the catalog (opened, or appended)
  std::string name_;    // empty for a temporary query
  std::string sql_;     // as the caller wrote it
  QueryText text_;
  std::vector<std::optional<StoredValue>> values_;  // per declared parameter
  int32_t recordsAffected_ = 0;
};

}  // namespace vorlix
