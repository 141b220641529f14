// DatabaseInternal: what the engine's own classes reach inside an open database: its SQLite
// connection, the objects that must close with it, and the schema lists read from it. Code
// above the engine works through Database.h only; scripts/check-layers keeps this header
// inside engine/.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/database/Database.h"

namespace vorlix {

class DatabaseInternal {
 public:
  explicit DatabaseInternal(CDaoDatabase& database) : d_(database) {}

  // Registers something that has to close with the database; it unregisters as it closes.
  void AddDependent(CDaoDatabase::Dependent* dependent);
  void RemoveDependent(CDaoDatabase::Dependent* dependent);
  // The connection; raises 3219 when no database is open.
  Store& Db();
  bool HasCatalog() const { return d_.open_ && d_.open_->hasCatalog; }
  // Forgets what was read about the schema, after this object changed it.
  void SchemaChanged();
  // How many times this object has changed the schema: a change of its own is noticed without
  // asking the file.
  uint64_t SchemaChanges() const { return d_.schemaChanges_; }
  // The tables and relations, read again only after this or another connection changed the
  // file.
  const std::vector<TableEntry>& Tables();
  const std::vector<RelationSchema>& Relations();
  // How many of this object's recordsets hold the file's write lock for a pending AddNew or
  // Edit (EditLock.h keeps it).
  int& EditLockHolders() { return d_.editLockHolders_; }

 private:
  // Drops the read lists when the file's schema or data version moved.
  void Revalidate();

  CDaoDatabase& d_;
};

// The engine's view of database's insides.
inline DatabaseInternal Internal(CDaoDatabase& database) {
  return DatabaseInternal(database);
}

}  // namespace vorlix
