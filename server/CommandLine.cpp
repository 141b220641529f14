#include "server/CommandLine.h"

#include <string_view>

#include "automation/AsciiCase.h"
#include "server/HelpText.h"

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
  return kHelpText;
}

std::string VersionLine() {
  return std::string("vorlix-server ") + kVersion + "\n";
}

}  // namespace vorlix
