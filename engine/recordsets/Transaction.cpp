#include "engine/recordsets/Transaction.h"

#include "engine/DaoException.h"
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
  database_->RemoveDependent(this);
}

void CDaoTransaction::Begin() {
  database_->Db();  // 3219 without an open database
  if (active_) ThrowDao(dao_error::kInvalidOperation, "A transaction is under way already.");
  AcquireEditLock(*database_);
  active_ = true;
  database_->AddDependent(this);
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
  database_->SchemaChanged();
}

void CDaoTransaction::EndIfRolledBack() noexcept {
  if (active_ && !database_->Db().InTransaction()) OnDatabaseClose();
}

void CDaoTransaction::OnDatabaseClose() noexcept {
  End();
  AbandonEditLock(*database_);
  database_->SchemaChanged();
}

}  // namespace vorlix
