#include "server/ClientFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace vorlix {

ClientFolder::ClientFolder(pid_t client)
    : process_(
          open(("/proc/" + std::to_string(client)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

ClientFolder::~ClientFolder() {
  if (process_ >= 0) close(process_);
}

void ClientFolder::Enter() const {
  // The link names the folder itself, even one renamed since the client entered it.
  const int folder = process_ < 0 ? -1 : openat(process_, "cwd", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const bool entered = folder >= 0 && fchdir(folder) == 0;
  if (folder >= 0) close(folder);
  if (entered) return;
  [[maybe_unused]] const int root = chdir("/");  // "/" is always there
}

}  // namespace vorlix
