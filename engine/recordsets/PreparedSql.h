// What every statement a client writes goes through, whether it comes with declared
// parameters (CDaoQueryDef) or with bound ones (ClientStatement): the statements the engine
// keeps to itself are refused, the text is prepared with links resolved and its failures
// named, and an action keeps the catalog in step with the tables it defines.
#pragma once

#include <cstdint>
#include <string>

#include "engine/database/Database.h"
#include "engine/store/Store.h"

namespace vorlix {

// Prepares sql (the statement as the engine runs it; asWritten, as the client wrote it, goes
// into messages) on database. Raises 3219 for a statement that manages the connection (PRAGMA,
// ATTACH, BEGIN ...) or changes a linked table's definition, 3075 for a syntax error, an empty
// text or a second statement, 3078 for a missing table.
Statement PrepareSql(CDaoDatabase& database, const std::string& sql, const std::string& asWritten);

// Whether sql is DDL: it creates, alters or drops something.
bool DefinesSchema(const std::string& sql);

// Runs stmt (prepared from sql), which returns no rows, atomically, with the catalog kept in
// step when definesSchema (DefinesSchema(sql), which a statement run once per row of a batch
// reads once): the number of records it added, changed or deleted, and the id of the last row
// the connection inserted (read before the catalog's own rows are written).
struct ActionResult {
  int64_t affected;
  int64_t lastRowId;
};
ActionResult RunAction(CDaoDatabase& database, Statement& stmt, const std::string& sql,
                       bool definesSchema);

}  // namespace vorlix
