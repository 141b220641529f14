#include "engine/recordsets/EditLock.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"

namespace vorlix {
namespace {

// The statements every record write runs, prepared once for the store instead of parsed on
// each write; a failure raises what Exec would.
void Run(Store& db, const char* sql) {
  db.Cached(sql).Run();
}

void Begin(Store& db) {
  try {
    db.BeginWrite();
  } catch (const CDaoException& e) {
    if (e.Code() != dao_error::kTableInUse) throw;
    ThrowDao(dao_error::kRecordLocked,
             "The record cannot be written: another user is writing to the database.");
  }
}

// COMMIT keeps what was stored under the lock; when it fails the transaction is rolled back
// rather than left holding the lock.
void Commit(Store& db) {
  try {
    db.Commit();
  } catch (...) {
    db.Rollback();
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
  Internal(db).Db().Rollback();
}

void WriteLocked(CDaoDatabase& db, const std::function<void()>& write) {
  Store& store = Internal(db).Db();
  const bool own = !store.InTransaction();
  if (own) Begin(store);
  Run(store, "SAVEPOINT record_write");
  try {
    write();
  } catch (...) {
    // An interrupted write (like one that meets a full disk) has the store roll the whole
    // transaction back itself: then there is nothing left to undo.
    if (store.InTransaction()) {
      store.Exec("ROLLBACK TO record_write; RELEASE record_write");
      if (own) store.Rollback();
    }
    throw;
  }
  Run(store, "RELEASE record_write");
  if (own) Commit(store);
}

}  // namespace vorlix
