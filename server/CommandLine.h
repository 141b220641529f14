// The server's command line: whether it registers, unregisters or serves.
#pragma once

#include <string>
#include <string_view>

namespace vorlix {

enum class ServerAction { kServe, kRegister, kUnregister };

// Scans for "-" or "/" and compares the token after it with "UnregServer", then "RegServer",
// without regard to letter case; a token ends at a space, a tab or the end. The first match
// decides; any other token is skipped ("-Embedding" among them). No match: serve.
ServerAction ParseCommandLine(std::string_view commandLine);

// The arguments after the program name, joined with single spaces, as one command line.
std::string JoinArguments(int argc, char** argv);

}  // namespace vorlix
