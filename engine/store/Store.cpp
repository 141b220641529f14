#include "engine/store/Store.h"

namespace vorlix {

Statement::~Statement() {
  if (!core_) return;
  if (owned_) {
    delete core_;
  } else {
    core_->Reset();
  }
}

void Statement::Run() {
  while (Step()) {
  }
}

int64_t Store::QueryInt(const std::string& sql) {
  Statement stmt = Prepare(sql);
  return stmt.Step() ? stmt.Int(0) : 0;
}

WriteTransaction::WriteTransaction(Store& db) : db_(db), done_(db.InTransaction()) {
  if (!done_) db_.BeginWrite();
}

WriteTransaction::~WriteTransaction() {
  if (!done_) db_.Rollback();
}

void WriteTransaction::Commit() {
  if (done_) return;
  db_.Commit();
  done_ = true;
}

}  // namespace vorlix
