// The server's log: one line per event, "<UTC time> vorlix-server[<pid>]: <text>". Lines go to
// standard error when someone may read it (a terminal, the journal under systemd, a pipe or a
// file), and otherwise, when it is /dev/null or closed as activation leaves it, to the log file
// in the runtime directory (ServerLogPath). That file is rotated to "<file>.1" once it passes
// 1 MiB, so at most about 2 MiB stay. Used on the main thread only.
#pragma once

#include <string>

namespace vorlix {

// Chooses where lines go from here on; until then they go to standard error. False with
// *error when the log file is needed and cannot be opened (lines then go to standard error).
bool OpenLog(const std::string& runtimeDirectory, std::string* error);

// Writes one line (text without its newline).
void Log(const std::string& text);

// Whether VORLIX_LOG=debug asks for one line per call.
bool LogCalls();

}  // namespace vorlix
