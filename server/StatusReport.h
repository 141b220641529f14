// vorlix-server --status: asks the server that runs for this user, if one does, what it serves,
// over the status interface of the root object; it never starts one.
#pragma once

#include <cstdio>

namespace vorlix {

// Prints to out whether a server listens on this user's socket and, when one does, its pid,
// uptime, clients (the asking one left out), objects, LockServer locks and open databases. The
// exit status: 0 when one runs, 3 when none listens, 1 with the reason on err when it does not
// answer within 5 s (a call that runs long holds it) or answers something else.
int ReportStatus(FILE* out, FILE* err);

}  // namespace vorlix
