// Checks on database file paths made before SQLite sees them, and how SQLite is given them.
// They only look at the file (stat, access) and never open it: closing any descriptor of a
// file drops every POSIX lock this process holds on it, which would silently break SQLite's
// locks.
#pragma once

#include <string>

#include "automation/Bstr.h"

namespace vorlix {

// The UTF-8 path of a database name; 3044 when the name is not valid text.
std::string DatabasePath(const Bstr& name);

// Raises 3044 for an empty path, one holding a NUL, a missing folder, or anything but a
// regular file after following links (a folder, a FIFO, a device), also when the file's
// journal, WAL or shared-memory file is such a thing; 3024 for a missing file; 3051 when the
// user may not read it (or write it, when write is true); 3343 for an empty file, which
// SQLite would take for an empty database and make one of.
void CheckExistingFile(const std::string& path, bool write);

// Raises 3204 when path exists, 3044 when it is empty, holds a NUL or its folder does not
// exist.
void CheckNewFile(const std::string& path);

// The name to give SQLite for path. SQLite reads a name beginning with "file:" as a URI, which
// names another file than the one checked; "./" in front keeps it the path.
std::string SqliteName(const std::string& path);

// The SQLite open flags for a connection that only reads the existing file path: read-write
// when the user may write the file, because only a connection that can write removes the WAL
// and shared-memory files when it closes last; read-only otherwise.
int ReadingFlags(const std::string& path);

// Removes a database file together with its WAL and shared-memory files.
void RemoveDatabaseFiles(const std::string& path);

}  // namespace vorlix
