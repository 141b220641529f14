#include "server/CommandLine.h"

#include <string_view>

#include "automation/AsciiCase.h"

namespace vorlix {
namespace {

// Whether the token at text's start is word, in any letter case, and ends there.
bool TokenIs(std::string_view text, std::string_view word) {
  if (!StartsWithNoCase(text, word)) return false;
  return text.size() == word.size() || text[word.size()] == ' ' || text[word.size()] == '\t';
}

// Registration's scan over the arguments as one command line, so that the switch may sit
// among other text: kRegister, kUnregister, or kServe when neither is found.
ServerAction ScanForRegistration(std::string_view commandLine) {
  size_t at = 0;
  while ((at = commandLine.find_first_of("-/", at)) != std::string_view::npos) {
    const std::string_view token = commandLine.substr(++at);
    if (TokenIs(token, "UnregServer")) return ServerAction::kUnregister;
    if (TokenIs(token, "RegServer")) return ServerAction::kRegister;
  }
  return ServerAction::kServe;
}

bool IsEmbedding(std::string_view argument) {
  return !argument.empty() && (argument[0] == '-' || argument[0] == '/') &&
         EqualNoCase(argument.substr(1), "Embedding");
}

}  // namespace

ServerAction ParseArguments(const std::vector<std::string>& arguments, std::string* unknown) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") return ServerAction::kHelp;
  }
  for (const std::string& argument : arguments) {
    if (argument == "--version") return ServerAction::kVersion;
  }
  for (const std::string& argument : arguments) {
    if (argument == "--status") return ServerAction::kStatus;
  }
  std::string commandLine;
  for (const std::string& argument : arguments) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += argument;
  }
  const ServerAction registration = ScanForRegistration(commandLine);
  if (registration != ServerAction::kServe) return registration;
  for (const std::string& argument : arguments) {
    if (!IsEmbedding(argument)) {
      *unknown = argument;
      return ServerAction::kUsageError;
    }
  }
  return ServerAction::kServe;
}

const char* Usage() {
  return "Usage: vorlix-server [-Embedding]\n"
         "       vorlix-server /RegServer | /UnregServer\n"
         "       vorlix-server --status\n"
         "       vorlix-server --help | --version\n"
         "\n"
         "Serves Vorlix.DBConnection and Vorlix.DaoStatus objects to this user's clients on the\n"
         "socket in the runtime directory, and ends by itself once they have all left. Clients\n"
         "start it when they need it, once it is registered.\n"
         "\n"
         "  -Embedding    serve; what a client passes when it starts the server\n"
         "  /RegServer    register this program in the user's registry file, so that clients\n"
         "                start it\n"
         "  /UnregServer  remove that registration\n"
         "  --status      say whether a server runs for this user: its pid, uptime, clients,\n"
         "                objects and open databases; exit status 3 when none runs\n"
         "  -h, --help    print this text\n"
         "  --version     print the version\n"
         "\n"
         "RegServer and UnregServer may follow a \"-\" as well, in any letter case.\n"
         "\n"
         "A server logs to standard error, or to server.log in the runtime directory when that\n"
         "leads nowhere; with VORLIX_LOG=debug in its environment, one line per call too.\n";
}

std::string VersionLine() {
  return "vorlix-server " VORLIX_VERSION "\n";
}

}  // namespace vorlix
