// ClientStatement: one SQL statement a client writes, with its parameters bound from values
// (never written into the text). A statement that returns no rows is run at once; one that
// reads rows is stepped only as its rows are fetched, so a result of any size costs memory for
// one batch, and SQLite keeps the statement's read snapshot until it ends. Closing the database
// closes the statement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/ColumnValues.h"
#include "automation/Variant.h"
#include "engine/database/Database.h"
#include "engine/recordsets/PreparedSql.h"
#include "engine/schema/FieldType.h"
#include "engine/store/Store.h"

namespace vorlix {

class ClientStatement : public CDaoDatabase::Dependent {
 public:
  struct Column {
    std::string name;
    const FieldType* type;  // nullptr for a computed column: values keep their storage class
    std::string declared;   // the declared type of the table column it comes from, else ""
    int32_t size;
    bool nullable;
  };

  // Prepares sql on the open database (raising as PrepareSql does) and binds params (Bind).
  ClientStatement(CDaoDatabase* database, std::string sql, const std::vector<Variant>& params);
  ~ClientStatement();
  ClientStatement(const ClientStatement&) = delete;
  ClientStatement& operator=(const ClientStatement&) = delete;

  // Binds params in place of the earlier ones: values in order for "?" places, or name/value
  // pairs (VT_BSTR names, with or without their ":" or "@") when every place is named. Raises
  // 3061 when a place gets no value, 3001 for more values than places or a pair whose name is
  // not a string, 3265 for a name the statement lacks, 3421 for a value that cannot be bound.
  void Bind(const std::vector<Variant>& params);

  // The result columns; none for a statement that returns no rows.
  const std::vector<Column>& Columns() const { return columns_; }

  // Runs a statement that returns no rows, atomically (RunAction). Raises 3027 when it would
  // change a read-only database, and as CDaoQueryDef::Execute does.
  ActionResult Run();

  // Up to n more rows of a statement that reads rows, column by column (ColumnBuilder), each
  // value as a field of its column's type reads it; fewer than n once the rows end, and *rows
  // says how many. Raises the engine's failure while stepping, which ends the statement, and
  // 3219 once it has ended or the database was closed under it.
  std::vector<ColumnValues> Fetch(size_t n, size_t* rows);

  void OnDatabaseClose() noexcept override;

 private:
  void RequireStatement() const;

  CDaoDatabase* database_;
  std::string sql_;
  bool definesSchema_;             // DefinesSchema(sql_), read once for the many runs of a batch
  std::optional<Statement> stmt_;  // empty once the database closed
  std::vector<Column> columns_;
  bool done_ = false;  // the rows have ended
};

}  // namespace vorlix
