// Links to tables of other database files: the connect string, the check that the target
// exists, and the attachment of the target's file through which SQL reaches it.
#pragma once

#include <string>

#include "engine/schema/TableList.h"
#include "engine/store/Store.h"

namespace vorlix {

// The path of a connect string ";DATABASE=path" (the keyword in any case): everything after
// "DATABASE=", so a path holding ';' is still one path, in the form SQLite is given it
// (SqliteName). Raises 3001 for any other form, 3044 for an empty path.
std::string LinkPath(const std::string& connect);

// Reads the linked file and returns the stored name of sourceTable in it. Raises what
// CheckExistingFile raises, 3343 for a file that is not a database, 3078 when it has no such
// table.
std::string CheckLinkTarget(const std::string& path, const std::string& sourceTable);

// Attaches the file of link to db unless it is attached already, and returns its schema name.
// Named after the path, so links to one file share it and a link made again to another file
// never meets the old attachment. Raises what CheckLinkTarget raises before attaching.
std::string AttachLink(Store& db, const TableEntry& link);

// Makes db refuse (at prepare, with SQLITE_AUTH) any statement that creates, drops or alters a
// table, index, view or trigger in a linked file: a link lends its source table's rows, never
// its definition, whatever name the statement reaches it by.
void GuardLinkedFiles(Store& db);

}  // namespace vorlix
