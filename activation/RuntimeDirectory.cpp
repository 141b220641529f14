#include "activation/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
  const std::string what = "runtime directory " + path + ": ";
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = what + strerror(errno);
    return false;
  }
  // lstat: a symbolic link planted by someone else must not lead us elsewhere.
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = what + strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = what + "not a directory";
    return false;
  }
  if (st.st_uid != geteuid()) {
    *error = what + "owned by uid " + std::to_string(st.st_uid) + ", not by this user (uid " +
             std::to_string(geteuid()) + ")";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
    *error = what + "mode " + mode + " lets other users in; it must be 0700";
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

std::string ServerLogPath(const std::string& directory) {
  return directory + "/server.log";
}

}  // namespace vorlix
