#include "engine/store/FilePaths.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "engine/DaoException.h"

namespace vorlix {
namespace {

// What SQLite keeps beside a database file, named after the file.
constexpr const char* kSideFiles[] = {"-journal", "-wal", "-shm"};

bool FolderExists(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void InvalidPath(const std::string& path) {
  ThrowDao(dao_error::kInvalidPath, Quoted(path) + " is not a valid path.");
}

// The system calls take a path up to its first NUL: a name holding one would reach another
// file than the one named.
void CheckPathText(const std::string& path) {
  if (path.empty()) InvalidPath(path);
  if (path.find('\0') != std::string::npos) {
    ThrowDao(dao_error::kInvalidPath,
             "The path " + Quoted(path.substr(0, path.find('\0'))) + "... holds a NUL character.");
  }
}

// SQLite opens a journal it finds for reading, which waits for ever on a FIFO. It resolves
// links first and keeps these files beside the file reached.
void CheckSideFiles(const std::string& path) {
  std::error_code error;
  std::filesystem::path target = std::filesystem::canonical(path, error);
  if (error) target = path;
  for (const char* suffix : kSideFiles) {
    const std::string side = target.string() + suffix;
    struct stat st;
    if (::stat(side.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      ThrowDao(dao_error::kInvalidPath, Quoted(side) + " beside the database is not a file.");
    }
  }
}

}  // namespace

std::string DatabasePath(const Bstr& name) {
  std::optional<std::string> path = name.ToUtf8();
  if (!path) ThrowDao(dao_error::kInvalidPath, "The database name is not valid text.");
  return *path;
}

void CheckExistingFile(const std::string& path, bool write) {
  CheckPathText(path);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == EACCES) {
      ThrowDao(dao_error::kCannotOpen, "Access to " + Quoted(path) + " is denied.");
    }
    if (errno == ENOENT && FolderExists(path)) {
      ThrowDao(dao_error::kFileNotFound, "The file " + Quoted(path) + " does not exist.");
    }
    InvalidPath(path);
  }
  // Only a regular file is opened: opening a FIFO waits for a writer, and a device is no
  // database.
  if (!S_ISREG(st.st_mode)) {
    ThrowDao(dao_error::kInvalidPath, Quoted(path) + " is not a file.");
  }
  if (::access(path.c_str(), write ? R_OK | W_OK : R_OK) != 0) {
    ThrowDao(dao_error::kCannotOpen,
             std::string("The user may not ") + (write ? "write " : "read ") + Quoted(path) + ".");
  }
  if (st.st_size == 0) {
    ThrowDao(dao_error::kNotADatabase, "The file " + Quoted(path) + " is empty, not a database.");
  }
  CheckSideFiles(path);
}

void CheckNewFile(const std::string& path) {
  CheckPathText(path);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    ThrowDao(dao_error::kDatabaseExists, "The file " + Quoted(path) + " exists already.");
  }
  if (!FolderExists(path)) InvalidPath(path);
}

std::string SqliteName(const std::string& path) {
  return path.starts_with("file:") ? "./" + path : path;
}

int ReadingFlags(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0 ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
}

void RemoveDatabaseFiles(const std::string& path) {
  ::unlink(path.c_str());
  for (const char* suffix : kSideFiles)
    ::unlink((path + suffix).c_str());
}

}  // namespace vorlix
