#include "server/CommandLine.h"

#include "automation/AsciiCase.h"

namespace vorlix {
namespace {

// Whether the token at text's start is word, in any letter case, and ends there.
bool TokenIs(std::string_view text, std::string_view word) {
  if (!StartsWithNoCase(text, word)) return false;
  return text.size() == word.size() || text[word.size()] == ' ' || text[word.size()] == '\t';
}

}  // namespace

ServerAction ParseCommandLine(std::string_view commandLine) {
  size_t at = 0;
  while ((at = commandLine.find_first_of("-/", at)) != std::string_view::npos) {
    const std::string_view token = commandLine.substr(++at);
    if (TokenIs(token, "UnregServer")) return ServerAction::kUnregister;
    if (TokenIs(token, "RegServer")) return ServerAction::kRegister;
  }
  return ServerAction::kServe;
}

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace vorlix
