// Checks on database file paths made before SQLite sees them. They only look at the file
// (stat, access) and never open it: closing any descriptor of a file drops every POSIX lock
// this process holds on it, which would silently break SQLite's locks.
#pragma once

#include <string>

#include "automation/Bstr.h"

namespace vorlix {

// The UTF-8 path of a database name; 3044 when the name is not valid text.
std::string DatabasePath(const Bstr& name);

// Raises 3044 for an empty path or a missing folder, 3024 for a missing file, 3051 when the
// user may not read it (or write it, when write is true), 3044 for a folder.
void CheckExistingFile(const std::string& path, bool write);

// Raises 3204 when path exists, 3044 when it is empty or its folder does not exist.
void CheckNewFile(const std::string& path);

// Removes a database file together with its WAL and shared-memory files.
void RemoveDatabaseFiles(const std::string& path);

}  // namespace vorlix
