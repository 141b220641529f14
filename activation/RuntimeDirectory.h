// The per-user runtime directory, where the server's socket and the activation lock live. Both
// sides use it; only its owner may reach into it.
#pragma once

#include <string>

namespace vorlix {

// $VORLIX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/vorlix, else /tmp/vorlix-<uid> (empty variables
// count as unset).
std::string RuntimeDirectoryPath();

// Makes the directory with mode 0700 when it is missing (its parent must exist). False with
// *error when it is not a directory, not owned by this process's user, or open to anyone else:
// another user could then replace the socket or read the traffic.
bool PrepareRuntimeDirectory(const std::string& path, std::string* error);

// The server's socket in the directory.
std::string ServerSocketPath(const std::string& directory);
// The lock file clients hold while they start a server.
std::string ActivationLockPath(const std::string& directory);
// The server's log file, when its standard error leads nowhere (server/Log.h).
std::string ServerLogPath(const std::string& directory);

}  // namespace vorlix
