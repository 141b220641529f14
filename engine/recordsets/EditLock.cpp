#include "engine/recordsets/EditLock.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"

namespace vorlix {
namespace {

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
  // Neither is waited for: a store across a connection sends them with the write's first
  // statement and with what follows the write.
  store.ExecWithNext("SAVEPOINT record_write");
  try {
    write();
  } catch (...) {
    // An interrupted write (like one that meets a full disk) has the store roll the whole
    // transaction back itself: then there is nothing left to undo. A transaction of the
    // write's own is undone whole, savepoint or not (it may be the savepoint that failed).
    if (own) {
      store.Rollback();
    } else if (store.InTransaction()) {
      store.Exec("ROLLBACK TO record_write; RELEASE record_write");
    }
    throw;
  }
  store.ExecWithNext("RELEASE record_write");
  if (own) Commit(store);
}

}  // namespace vorlix
