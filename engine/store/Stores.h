// Which store holds a database, by its name: a postgresql:// or postgres:// URI names a
// database on a PostgreSQL server (Postgres.h), anything else a file (Sqlite.h).
#pragma once

#include <memory>
#include <string>

#include "engine/store/Store.h"

namespace vorlix {

// True when name is a file's path rather than a server's URI.
bool NamesFile(const std::string& name);

// Checks before a database is opened or made, as CheckExistingFile and CheckNewFile do for a
// file; a server answers for its databases when it is asked to open or make one.
void CheckExisting(const std::string& name, bool write);
void CheckNew(const std::string& name);

// The existing database name, open as CDaoDatabase::Open documents.
std::unique_ptr<Store> OpenStore(const std::string& name, bool exclusive, bool readOnly);

// The new database name, open for reading and writing.
std::unique_ptr<Store> CreateStore(const std::string& name);

// Compacts the database from into to and returns to, open for writing: a file is copied
// (SqliteDb::CompactInto); a database on a server is compacted where it is (VACUUM), so to
// must name it too (3001 otherwise).
std::unique_ptr<Store> CompactStore(const std::string& from, const std::string& to);

// A failed CreateStore leaves nothing behind: the file is removed. A database made on a server
// stays (the server made it; the user drops it).
void RemoveCreated(const std::string& name);

}  // namespace vorlix
