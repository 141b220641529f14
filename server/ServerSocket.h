// Server side: the listening socket in the runtime directory.
#pragma once

#include <sys/types.h>

#include <string>

namespace vorlix {

// Takes "server.lock" in the runtime directory for as long as the returned fd stays open, so
// that of two servers started at the same moment one goes on and the other gives up: -1 with
// *error when another server still holds it after 2 s (a server that is ending lets go at
// once) or it cannot be taken. Taken before ListenOnSocket, it keeps a starting server from
// replacing the socket another one has just bound.
int TakeServerLock(const std::string& directory, std::string* error);

// A listening, non-blocking unix socket bound at path, its file open to its user only (0600,
// whatever the umask). A socket file that nobody accepts on (left by a server that died) is
// replaced; one a live server accepts on is never taken over: -1 with *error then, as for any
// other failure.
int ListenOnSocket(const std::string& path, std::string* error);

// The listening socket that systemd's socket unit passed to this process (LISTEN_FDS and
// LISTEN_PID, which are then unset), made non-blocking; -1 when none was passed. -1 with
// *error when what was passed is not exactly one listening unix stream socket.
int InheritedListenSocket(std::string* error);

// The peer's user id is this process's own or root: the only users the server serves. *pid and
// *uid are the peer's process and user ids.
bool PeerMayConnect(int fd, pid_t* pid, uid_t* uid);

}  // namespace vorlix
