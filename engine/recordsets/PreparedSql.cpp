#include "engine/recordsets/PreparedSql.h"

#include <optional>

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/LinkedSql.h"
#include "engine/recordsets/QueryText.h"
#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// Statements that would change how the connection works (its settings, attached files, locking
// or transactions) rather than the database: the engine keeps those to itself, since a client's
// PRAGMA or BEGIN could hold locks past the call or switch off checks.
bool ManagesConnection(const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->empty()) return false;
  for (const char* word : {"PRAGMA", "ATTACH", "DETACH", "BEGIN", "COMMIT", "END", "ROLLBACK",
                           "SAVEPOINT", "RELEASE", "VACUUM"}) {
    if ((*tokens)[0].Is(word)) return true;
  }
  return false;
}

// After a DDL statement run by SQL. What the catalog keeps about tables follows them: a table
// made by SQL gets counters for its COUNTER columns; a renamed table's or field's rows move with
// it; the rows of whatever is gone go (or a table, field or index made later under its name
// would inherit them), however the statement named it.
void KeepCatalog(Store& db, const std::string& sql) {
  const std::vector<Token> t = Tokenize(sql).value_or(std::vector<Token>());
  if (t.size() >= 3 && t[0].Is("ALTER") && t[1].Is("TABLE")) {
    const QualifiedName table = ReadQualifiedName(t, 2, sql);
    size_t i = table.end;
    if (i + 2 < t.size() && t[i].Is("RENAME") &&
        (table.schema.empty() || EqualNoCase(table.schema, "main"))) {
      const std::string name = NameOf(t[table.name], sql);
      if (t[i + 1].Is("TO")) {  // ALTER TABLE t RENAME TO new
        catalog::RenameTable(db, name, NameOf(t[i + 2], sql));
      } else {  // ALTER TABLE t RENAME [COLUMN] a TO b
        i += t[i + 1].Is("COLUMN") ? 2 : 1;
        if (i + 2 < t.size() && t[i + 1].Is("TO")) {
          catalog::RenameField(db, name, NameOf(t[i], sql), NameOf(t[i + 2], sql));
        }
      }
    }
  }
  catalog::Prune(db);
  catalog::SyncCounters(db);
}

}  // namespace

bool DefinesSchema(const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->size() < 3) return false;
  const Token& first = (*tokens)[0];
  return first.Is("CREATE") || first.Is("ALTER") || first.Is("DROP");
}

Statement PrepareSql(CDaoDatabase& database, const std::string& sql, const std::string& asWritten) {
  if (ManagesConnection(sql)) {
    ThrowDao(dao_error::kInvalidOperation,
             "Statements that manage the connection or its transactions are not run: " + asWritten);
  }
  if (HasSecondStatement(sql)) {
    ThrowDao(dao_error::kSyntaxError, "The text holds more than one statement: " + asWritten);
  }
  Store& db = Internal(database).Db();
  const std::string resolved = ResolveLinks(database, WithEngineColumns(sql));
  std::optional<Statement> stmt;
  try {
    stmt.emplace(db.Prepare(resolved));
  } catch (const CDaoException& e) {
    if (e.Code() != dao_error::kEngineFailure) throw;
    const std::string message = db.ErrorMessage();
    if (db.WasRefused()) {
      ThrowDao(dao_error::kInvalidOperation,
               "A linked table's definition belongs to its own file and is not changed here: " +
                   asWritten);
    }
    if (message.rfind("no such table", 0) == 0) {
      ThrowDao(dao_error::kNoSuchTable,
               "The statement names a missing table (" + message + "): " + asWritten);
    }
    ThrowDao(dao_error::kSyntaxError, "Syntax error (" + message + ") in: " + asWritten);
  }
  if (!stmt->HasStatement()) ThrowDao(dao_error::kSyntaxError, "The statement is empty.");
  return std::move(*stmt);
}

ActionResult RunAction(CDaoDatabase& database, Statement& stmt, const std::string& sql,
                       bool definesSchema) {
  Store& db = Internal(database).Db();
  WriteTransaction transaction(db);
  const int64_t before = db.TotalChanges();
  try {
    stmt.Run();
  } catch (const CDaoException& e) {
    // SQLite says only that a foreign key failed; a DELETE can only orphan related records.
    // Read on failure alone: a batch runs this once a row.
    std::optional<std::vector<Token>> tokens = Tokenize(sql);
    if (e.Code() == dao_error::kRelatedRecordRequired && tokens && !tokens->empty() &&
        (*tokens)[0].Is("DELETE")) {
      ThrowDao(dao_error::kRelatedRecordsExist,
               std::string("The records cannot be deleted: related records exist. ") + e.what());
    }
    throw;
  }
  // changes() keeps the count of the last statement that changed rows; DDL changes none.
  const int64_t affected = db.TotalChanges() == before ? 0 : db.Changes();
  const int64_t lastRowId = db.LastInsertRowid();
  if (definesSchema) KeepCatalog(db, sql);
  transaction.Commit();
  if (definesSchema) Internal(database).SchemaChanged();
  return {affected, lastRowId};
}

}  // namespace vorlix
