#include "engine/DatabaseFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "engine/DaoException.h"

namespace vorlix {
namespace {

bool FolderExists(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void InvalidPath(const std::string& path) {
  ThrowDao(dao_error::kInvalidPath, Quoted(path) + " is not a valid path.");
}

}  // namespace

std::string DatabasePath(const Bstr& name) {
  std::optional<std::string> path = name.ToUtf8();
  if (!path) ThrowDao(dao_error::kInvalidPath, "The database name is not valid text.");
  return *path;
}

void CheckExistingFile(const std::string& path, bool write) {
  if (path.empty()) InvalidPath(path);
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
  if (S_ISDIR(st.st_mode)) InvalidPath(path);
  if (::access(path.c_str(), write ? R_OK | W_OK : R_OK) != 0) {
    ThrowDao(dao_error::kCannotOpen,
             std::string("The user may not ") + (write ? "write " : "read ") + Quoted(path) + ".");
  }
}

void CheckNewFile(const std::string& path) {
  if (path.empty()) InvalidPath(path);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    ThrowDao(dao_error::kDatabaseExists, "The file " + Quoted(path) + " exists already.");
  }
  if (!FolderExists(path)) InvalidPath(path);
}

void RemoveDatabaseFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    ::unlink((path + suffix).c_str());
}

}  // namespace vorlix
