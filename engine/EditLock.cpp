#include "engine/EditLock.h"

#include "engine/DaoException.h"

namespace vorlix {
namespace {

void Begin(SqliteDb& db) {
  try {
    db.Exec("BEGIN IMMEDIATE");
  } catch (const CDaoException& e) {
    if (e.Code() != dao_error::kTableInUse) throw;
    ThrowDao(dao_error::kRecordLocked,
             "The record cannot be written: another user is writing to the database.");
  }
}

}  // namespace

void AcquireEditLock(CDaoDatabase& db) {
  if (db.EditLockHolders() == 0) Begin(db.Db());
  ++db.EditLockHolders();
}

void ReleaseEditLock(CDaoDatabase& db) {
  if (--db.EditLockHolders() == 0) db.Db().Exec("COMMIT");
}

void WriteLocked(CDaoDatabase& db, const std::function<void()>& write) {
  SqliteDb& sqlite = db.Db();
  const bool own = !sqlite.InTransaction();
  if (own) Begin(sqlite);
  sqlite.Exec("SAVEPOINT record_write");
  try {
    write();
  } catch (...) {
    sqlite.Exec("ROLLBACK TO record_write; RELEASE record_write");
    if (own) sqlite.Exec("ROLLBACK");
    throw;
  }
  sqlite.Exec("RELEASE record_write");
  if (!own) return;
  try {
    sqlite.Exec("COMMIT");
  } catch (...) {
    sqlite.Exec("ROLLBACK");  // a commit that failed must not leave the lock held
    throw;
  }
}

}  // namespace vorlix
