#include "tools/shell/SqlLines.h"

#include "automation/AsciiCase.h"

namespace vorlix::shell {
namespace {

constexpr std::string_view kKeywords[] = {"SELECT", "INSERT", "UPDATE", "DELETE",
                                          "CREATE", "DROP",   "ALTER",  "WITH"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  return s;
}

// The first word of text: letters only, as every keyword is.
std::string_view FirstWord(std::string_view text) {
  size_t end = 0;
  while (end < text.size() &&
         ((text[end] >= 'A' && text[end] <= 'Z') || (text[end] >= 'a' && text[end] <= 'z'))) {
    ++end;
  }
  return text.substr(0, end);
}

}  // namespace

bool IsSqlLine(std::string_view line) {
  line = TrimLeft(line);
  const std::string_view word = FirstWord(line);
  bool keyword = false;
  for (std::string_view k : kKeywords)
    keyword = keyword || EqualNoCase(word, k);
  if (!keyword || word.size() == line.size() || !IsBlank(line[word.size()])) return false;
  const std::string_view rest = TrimLeft(line.substr(word.size()));
  return !rest.empty() && rest[0] != ';' && rest[0] != '#';
}

std::vector<std::string> SqlKeywords() {
  return {std::begin(kKeywords), std::end(kKeywords)};
}

bool ReturnsRows(std::string_view statement) {
  const std::string_view word = FirstWord(TrimLeft(statement));
  return EqualNoCase(word, "SELECT") || EqualNoCase(word, "WITH");
}

size_t StatementEnd(std::string_view text) {
  char close = 0;  // the character that ends the quote we are in, if any
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (close) {
      if (c == close) close = 0;  // a doubled quote closes and opens again: the same
    } else if (c == '\'' || c == '"') {
      close = c;
    } else if (c == '[') {
      close = ']';
    } else if (c == ';') {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace vorlix::shell
