// Links in SQL. A statement names a linked table by its link name; SQLite reaches it through
// the link's file, attached to the connection (once per file, under a schema name of its own),
// as the table schema."source". So links can be read and written by SQL like local tables.
#pragma once

#include <optional>
#include <string>

#include "engine/database/Database.h"

namespace vorlix {

// sql with every table name that names a link (after FROM, JOIN, INTO, UPDATE or TABLE, or
// in the list of a FROM clause) replaced by the linked table; in a FROM clause or an UPDATE the
// link name stays as the alias where the statement gives none. Attaches the files of the
// links it meets, raising what checking a link raises (3024 for a missing file, 3078 for a
// missing source table). Text without links comes back unchanged.
std::string ResolveLinks(CDaoDatabase& db, const std::string& sql);

// The name of the link that sql drops when it is "DROP TABLE [IF EXISTS] [main.]link": such a
// statement removes the link, never its source table. nullopt for any other statement.
std::optional<std::string> DroppedLink(CDaoDatabase& db, const std::string& sql);

}  // namespace vorlix
