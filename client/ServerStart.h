// Starting the server program for activation, so that a program that cannot run is known at
// once and a server that ends before it listens is noticed without waiting out the time-out.
#pragma once

#include <sys/types.h>

#include <string>

namespace vorlix {

// Starts program with -Embedding in its own session, its standard streams on /dev/null, as an
// orphan (a grandchild whose parent has ended), so that no zombie of it stays in this process.
// Its process id; -1 with *error (strerror's text) when it could not be run: missing, not
// executable, not a program. The child reports the exec's failure before it ends.
pid_t StartServer(const std::string& program, std::string* error);

// Whether pid still runs: false once it has ended, also while it waits to be reaped.
bool StillRuns(pid_t pid);

}  // namespace vorlix
