// Links in SQL. A statement names a linked table by its link name; SQLite reaches it through
// the link's file, attached to the connection (once, under a schema name of its own), as the
// table schema."source". So links can be read and written by SQL like local tables.
#pragma once

#include <string>

#include "engine/Database.h"

namespace vorlix {

// sql with every table name that names a link (after FROM, JOIN, INTO, UPDATE or TABLE, or
// in the list of a FROM clause) replaced by the linked table, keeping the link name as the
// alias where the statement gives none. Attaches the files of the links it meets; raises
// what opening them raises. Text without links comes back unchanged.
std::string ResolveLinks(CDaoDatabase& db, const std::string& sql);

}  // namespace vorlix
