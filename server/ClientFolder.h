// Server side: relative file names given by a client are the client's, not the server's. One
// server serves every client of the user, each in a working folder of its own, and the server's
// own is whatever the client that started it had, so the server works in the caller's folder
// for the length of each call.
#pragma once

#include <sys/types.h>

namespace vorlix {

// Makes the working folder of process client this process's own. When it cannot be read (the
// client has gone, or is another user's), the working folder becomes "/", so that a relative
// name never lands in the folder of some other client.
void EnterClientFolder(pid_t client);

}  // namespace vorlix
