#include "server/ClientFolder.h"

#include <unistd.h>

#include <string>

namespace vorlix {

void EnterClientFolder(pid_t client) {
  // The link names the folder itself, even one renamed since the client entered it.
  const std::string link = "/proc/" + std::to_string(client) + "/cwd";
  if (chdir(link.c_str()) == 0) return;
  [[maybe_unused]] const int root = chdir("/");  // "/" is always there
}

}  // namespace vorlix
