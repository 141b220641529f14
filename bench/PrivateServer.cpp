#include "bench/PrivateServer.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/database/Database.h"
#include "engine/database/DatabaseInternal.h"

namespace vorlix {

PrivateServer::PrivateServer(const std::string& serverProgram) {
  folder_ = std::filesystem::temp_directory_path() / ("vorlix-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder_);
  setenv("VORLIX_REGISTRY", (folder_ / "registry.reg").c_str(), 1);
  setenv("VORLIX_RUNTIME_DIR", (folder_ / "run").c_str(), 1);
  const pid_t pid = fork();
  if (pid == 0) {
    // It says which registry it wrote: nothing the run's output needs.
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execl(serverProgram.c_str(), serverProgram.c_str(), "/RegServer", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = -1;
  if (pid > 0) waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::filesystem::remove_all(folder_);
    throw std::runtime_error(serverProgram + " /RegServer failed");
  }
}

std::string PrivateServer::CreateDatabase(const std::string& name, const char* sql) const {
  const std::string path = (folder_ / name).string();
  CDaoDatabase db;
  db.Create(*Bstr::FromUtf8(path));
  Internal(db).Db().Exec(sql);
  return path;
}

PrivateServer::~PrivateServer() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace vorlix
