#include "activation/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vorlix {
namespace {

const char* Env(const char* name) {
  const char* value = getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

std::string RuntimeDirectoryPath() {
  if (const char* dir = Env("VORLIX_RUNTIME_DIR")) return dir;
  if (const char* dir = Env("XDG_RUNTIME_DIR")) return std::string(dir) + "/vorlix";
  return "/tmp/vorlix-" + std::to_string(getuid());
}

bool PrepareRuntimeDirectory(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  // lstat: a symbolic link planted by someone else must not lead us elsewhere.
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = path + ": not a directory";
    return false;
  }
  if (st.st_uid != geteuid()) {
    *error = path + ": owned by another user";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    *error = path + ": open to other users (mode must be 0700)";
    return false;
  }
  return true;
}

std::string ServerSocketPath(const std::string& directory) {
  return directory + "/server";
}

std::string ActivationLockPath(const std::string& directory) {
  return directory + "/activation.lock";
}

}  // namespace vorlix
