// CDaoTransaction: a transaction that a client keeps open across calls on an open database.
// It holds the file's write lock as one share of the edit lock (EditLock.h): the record writers
// inside it join it rather than commit on their own, and other users meet the lock as they
// meet a pending edit (3260, which they retry). Nothing it writes is seen by other users before
// Commit. It is rolled back by Rollback, when the database closes and when it goes.
#pragma once

#include "engine/database/Database.h"

namespace vorlix {

class CDaoTransaction : public CDaoDatabase::Dependent {
 public:
  explicit CDaoTransaction(CDaoDatabase* database) : database_(database) {}
  ~CDaoTransaction();
  CDaoTransaction(const CDaoTransaction&) = delete;
  CDaoTransaction& operator=(const CDaoTransaction&) = delete;

  // Raises 3219 without an open database or when a transaction is under way already, 3260
  // when another user is writing.
  void Begin();
  // Each raises 3219 when no transaction is under way. A commit that fails is rolled back and
  // raises the failure.
  void Commit();
  void Rollback();
  bool Active() const { return active_; }
  // After a failure inside the transaction: SQLite rolls a transaction back itself when a
  // write in it is interrupted or meets a full disk. The transaction is then over, as after
  // Rollback, so that no later write is taken for part of it.
  void EndIfRolledBack() noexcept;

  void OnDatabaseClose() noexcept override;

 private:
  void RequireActive() const;
  // Forgets the transaction: the database no longer tells it of its close.
  void End() noexcept;

  CDaoDatabase* database_;
  bool active_ = false;
};

}  // namespace vorlix
