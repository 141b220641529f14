// The engine's catalog: the MSys tables that keep what the store's own schema cannot say.
//
//   MSysInfo     (Name, Value)                        database properties: Locale, Options
//   MSysFields   (TableName, FieldName, AllowZeroLength, DefaultValue)
//                fields made through a table definition: the zero-length flag and the
//                default as the caller wrote it (fields made by SQL have no row)
//   MSysIndexes  (TableName, IndexName, StoredName, IsPrimary)
//                indexes made through a table definition: SQLite index names are global,
//                ours are per table, so each maps to a stored name of its own
//   MSysCounters (TableName, FieldName, LastValue)
//                the last number given to each auto-increment field, where the store
//                numbers fields this way (SqliteCounters.h)
//   MSysLinks    (Name, Connect, SourceTable)        linked tables
//
// Table and field names are matched without regard to case, as SQLite matches them. The
// functions need an open connection; writers need a write transaction around them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/store/Store.h"

namespace vorlix::catalog {

// True when every catalog table exists.
bool Exists(Store& db);
// Creates the catalog tables that are missing.
void Create(Store& db);

void SetProperty(Store& db, const std::string& name, const std::string& value);

struct FieldEntry {
  bool allowZeroLength;
  std::string defaultValue;
};
void PutField(Store& db, const std::string& table, const std::string& field,
              const FieldEntry& entry);
std::optional<FieldEntry> Field(Store& db, const std::string& table, const std::string& field);

struct IndexEntry {
  std::string indexName;
  bool primary;
};
// Replaces a row left behind by an index that plain SQL dropped.
void PutIndex(Store& db, const std::string& table, const std::string& indexName,
              const std::string& storedName, bool primary);
std::optional<IndexEntry> IndexByStoredName(Store& db, const std::string& storedName);

struct LinkEntry {
  std::string name;
  std::string connect;
  std::string sourceTable;
};
std::vector<LinkEntry> Links(Store& db);
void PutLink(Store& db, const LinkEntry& link);
void RenameLink(Store& db, const std::string& from, const std::string& to);
void DeleteLink(Store& db, const std::string& name);

// Has the store number every auto-increment column that it does not number yet (tables made
// by SQL, or by another program), starting after the largest number the column holds.
void SyncCounters(Store& db);

// Moves the catalog rows of a table to its new name (and its counter triggers with them).
void RenameTable(Store& db, const std::string& from, const std::string& to);
// Moves the catalog rows of a field of table to its new name, and its counter to a trigger of
// that name (the old trigger would keep counting under the old name beside a new one).
void RenameField(Store& db, const std::string& table, const std::string& from,
                 const std::string& to);
// Drops the catalog rows of a table that no longer exists.
void ForgetTable(Store& db, const std::string& table);

// Drops the rows of fields and indexes that no longer exist, whoever dropped them (plain SQL
// through the engine in any spelling, another program, an older build), so that a table, field
// or index made later under the same name inherits none of their properties. A counter stays
// while its trigger does: a table renamed by another program keeps numbering through it. Reads
// first and writes only when there is something to drop.
void Prune(Store& db);

}  // namespace vorlix::catalog
