// The engine's catalog: the MSys tables that keep what SQLite's own schema cannot say.
//
//   MSysInfo     (Name, Value)                        database properties: Locale, Options
//   MSysFields   (TableName, FieldName, AllowZeroLength, DefaultValue)
//                fields made through a table definition: the zero-length flag and the
//                default as the caller wrote it (fields made by SQL have no row)
//   MSysIndexes  (TableName, IndexName, StoredName, IsPrimary)
//                indexes made through a table definition: SQLite index names are global,
//                ours are per table, so each maps to a stored name of its own
//   MSysCounters (TableName, FieldName, LastValue)
//                the last number given to each auto-increment field, kept by a trigger
//                "MSysCounter table.field" so that numbers are never reused, even for rows
//                inserted by plain SQL
//   MSysLinks    (Name, Connect, SourceTable)        linked tables
//
// Table and field names are matched without regard to case, as SQLite matches them. The
// functions need an open connection; writers need a write transaction around them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/store/Sqlite.h"

namespace vorlix::catalog {

// True when every catalog table exists.
bool Exists(SqliteDb& db);
// Creates the catalog tables that are missing.
void Create(SqliteDb& db);

// An SQL expression for the number the counter trigger would give a row of table that brings
// none for field, or Null where the field has no counter. An insert that supplies it spares
// the trigger from rewriting the new row, which for a big record is most of its cost.
std::string NextCounterSql(const std::string& table, const std::string& field);

void SetProperty(SqliteDb& db, const std::string& name, const std::string& value);

struct FieldEntry {
  bool allowZeroLength;
  std::string defaultValue;
};
void PutField(SqliteDb& db, const std::string& table, const std::string& field,
              const FieldEntry& entry);
std::optional<FieldEntry> Field(SqliteDb& db, const std::string& table, const std::string& field);

struct IndexEntry {
  std::string indexName;
  bool primary;
};
// Replaces a row left behind by an index that plain SQL dropped.
void PutIndex(SqliteDb& db, const std::string& table, const std::string& indexName,
              const std::string& storedName, bool primary);
std::optional<IndexEntry> IndexByStoredName(SqliteDb& db, const std::string& storedName);

struct LinkEntry {
  std::string name;
  std::string connect;
  std::string sourceTable;
};
std::vector<LinkEntry> Links(SqliteDb& db);
void PutLink(SqliteDb& db, const LinkEntry& link);
void RenameLink(SqliteDb& db, const std::string& from, const std::string& to);
void DeleteLink(SqliteDb& db, const std::string& name);

// Gives the auto-increment column field of table its counter trigger, starting after the
// largest number the column holds.
void InstallCounter(SqliteDb& db, const std::string& table, const std::string& field);

// Gives every auto-increment column that has no counter trigger yet (tables made by SQL, or
// by another program) its trigger, starting after the largest number the column holds.
void SyncCounters(SqliteDb& db);

// Moves the catalog rows of a table to its new name (and its counter triggers with them).
void RenameTable(SqliteDb& db, const std::string& from, const std::string& to);
// Moves the catalog rows of a field of table to its new name, and its counter to a trigger of
// that name (the old trigger would keep counting under the old name beside a new one).
void RenameField(SqliteDb& db, const std::string& table, const std::string& from,
                 const std::string& to);
// Drops the catalog rows of a table that no longer exists.
void ForgetTable(SqliteDb& db, const std::string& table);

// Drops the rows of fields and indexes that no longer exist, whoever dropped them (plain SQL
// through the engine in any spelling, another program, an older build), so that a table, field
// or index made later under the same name inherits none of their properties. A counter stays
// while its trigger does: a table renamed by another program keeps numbering through it. Reads
// first and writes only when there is something to drop.
void Prune(SqliteDb& db);

}  // namespace vorlix::catalog
