// The server's command line: whether it registers, unregisters or serves, or only answers the
// person who started it with its usage or version.
#pragma once

#include <string>
#include <vector>

namespace vorlix {

enum class ServerAction { kServe, kRegister, kUnregister, kHelp, kVersion, kStatus, kUsageError };

// What the arguments after the program name ask for, decided in this order:
// 1. "--help" or "-h" anywhere: kHelp; else "--version" anywhere: kVersion; else "--status"
//    anywhere: kStatus. Asking how the program works or whether it runs never changes the
//    registry.
// 2. The arguments joined with spaces are scanned for "-" or "/" followed by "UnregServer",
//    then "RegServer", in any letter case and ending at a space, a tab or the end; the first
//    match decides, and other text around it is skipped.
// 3. Otherwise every argument must be "-Embedding" or "/Embedding" (what activation passes),
//    in any letter case: kServe, also for none. The first other argument is kUsageError, and
//    *unknown is set to it: a mistyped option must not start a server nobody asked for.
ServerAction ParseArguments(const std::vector<std::string>& arguments, std::string* unknown);

// The usage text that --help prints to standard output and a usage error to standard error:
// the usage part of the manual page vorlix-server(1), made from the same source.
const char* Usage();

// "vorlix-server <version>" and a newline: what --version prints.
std::string VersionLine();

}  // namespace vorlix
