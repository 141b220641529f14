#include "server/ClientFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vorlix {

ClientFolder::ClientFolder(pid_t client)
    : process_(open(("/proc/" + std::to_string(client)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      link_("/proc/" + std::to_string(client) + "/cwd") {}

ClientFolder::~ClientFolder() {
  if (process_ >= 0) close(process_);
}

void ClientFolder::Enter() const {
  // The link names the folder itself, even one renamed since the client entered it.
  const int folder = process_ < 0 ? -1 : openat(process_, "cwd", O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int error = errno;
  bool entered = folder >= 0 && fchdir(folder) == 0;
  if (folder >= 0) close(folder);
  // Out of descriptors, now or when the client connected: the link's path needs none.
  if (!entered && (process_ < 0 || error == EMFILE || error == ENFILE)) {
    entered = chdir(link_.c_str()) == 0;
  }
  if (entered) return;
  [[maybe_unused]] const int root = chdir("/");  // "/" is always there
}

}  // namespace vorlix
