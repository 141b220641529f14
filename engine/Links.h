// Links to tables of other database files: the connect string and the check that the target
// exists.
#pragma once

#include <string>

namespace vorlix {

// The path of a connect string ";DATABASE=path" (the keyword in any case): everything after
// "DATABASE=", so a path holding ';' is still one path, in the form SQLite is given it
// (SqliteName). Raises 3001 for any other form, 3044 for an empty path.
std::string LinkPath(const std::string& connect);

// Reads the linked file and returns the stored name of sourceTable in it. Raises what
// CheckExistingFile raises, 3343 for a file that is not a database, 3078 when it has no such
// table.
std::string CheckLinkTarget(const std::string& path, const std::string& sourceTable);

}  // namespace vorlix
