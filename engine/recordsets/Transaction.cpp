#include "engine/recordsets/Transaction.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/EditLock.h"

namespace vorlix {

CDaoTransaction::~CDaoTransaction() {
  if (active_) OnDatabaseClose();
}

void CDaoTransaction::RequireActive() const {
  if (!active_) ThrowDao(dao_error::kInvalidOperation, "No transaction is under way.");
}

void CDaoTransaction::End() noexcept {
  active_ = false;
  Internal(*database_).RemoveDependent(this);
}

void CDaoTransaction::Begin() {
  Internal(*database_).Db();  // 3219 without an open database
  if (active_) ThrowDao(dao_error::kInvalidOperation, "A transaction is under way already.");
  AcquireEditLock(*database_);
  active_ = true;
  Internal(*database_).AddDependent(this);
}

void CDaoTransaction::Commit() {
  RequireActive();
  End();
  ReleaseEditLock(*database_);
}

void CDaoTransaction::Rollback() {
  RequireActive();
  End();
  AbandonEditLock(*database_);
  // A definition made inside is undone with the rest: what the engine read of the schema goes.
  Internal(*database_).SchemaChanged();
}

void CDaoTransaction::EndIfRolledBack() noexcept {
  if (active_ && !Internal(*database_).Db().InTransaction()) OnDatabaseClose();
}

void CDaoTransaction::OnDatabaseClose() noexcept {
  End();
  AbandonEditLock(*database_);
  Internal(*database_).SchemaChanged();
}

}  // namespace vorlix
