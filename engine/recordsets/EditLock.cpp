#include "engine/recordsets/EditLock.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"

namespace vorlix {
namespace {

// The statements every record write runs, prepared once for the connection instead of parsed
// on each write; a failure raises what Exec would.
void Run(SqliteDb& db, const char* sql) {
  db.Cached(sql).Run();
}

void Begin(SqliteDb& db) {
  try {
    Run(db, "BEGIN IMMEDIATE");
  } catch (const CDaoException& e) {
    if (e.Code() != dao_error::kTableInUse) throw;
    ThrowDao(dao_error::kRecordLocked,
             "The record cannot be written: another user is writing to the database.");
  }
}

// COMMIT keeps what was stored under the lock; when it fails the transaction is rolled back
// rather than left holding the lock.
void Commit(SqliteDb& db) {
  try {
    Run(db, "COMMIT");
  } catch (...) {
    db.ExecQuietly("ROLLBACK");
    throw;
  }
}

}  // namespace

void AcquireEditLock(CDaoDatabase& db) {
  if (Internal(db).EditLockHolders() == 0) Begin(Internal(db).Db());
  ++Internal(db).EditLockHolders();
}

void ReleaseEditLock(CDaoDatabase& db) {
  if (--Internal(db).EditLockHolders() == 0) Commit(Internal(db).Db());
}

void AbandonEditLock(CDaoDatabase& db) noexcept {
  --Internal(db).EditLockHolders();
  Internal(db).Db().ExecQuietly("ROLLBACK");
}

void WriteLocked(CDaoDatabase& db, const std::function<void()>& write) {
  SqliteDb& sqlite = Internal(db).Db();
  const bool own = !sqlite.InTransaction();
  if (own) Begin(sqlite);
  Run(sqlite, "SAVEPOINT record_write");
  try {
    write();
  } catch (...) {
    // An interrupted write (like one that meets a full disk) has SQLite roll the whole
    // transaction back itself: then there is nothing left to undo.
    if (sqlite.InTransaction()) {
      sqlite.Exec("ROLLBACK TO record_write; RELEASE record_write");
      if (own) sqlite.Exec("ROLLBACK");
    }
    throw;
  }
  Run(sqlite, "RELEASE record_write");
  if (own) Commit(sqlite);
}

}  // namespace vorlix
