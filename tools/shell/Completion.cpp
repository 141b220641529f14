#include "tools/shell/Completion.h"

#include "automation/AsciiCase.h"

namespace vorlix::shell {
namespace {

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;  // names may hold any letter
}

// Whether text up to at is inside a string: an odd count of quotes, since a doubled quote
// inside a string counts two.
bool InsideQuotes(std::string_view text, size_t at) {
  size_t quotes = 0;
  for (size_t i = 0; i < at; ++i)
    quotes += text[i] == '"';
  return quotes % 2 == 1;
}

// Whether only blanks lie between the last ';' (or the beginning) and at.
bool AtStatementStart(std::string_view text, size_t at) {
  while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t'))
    --at;
  return at == 0 || (text[at - 1] == ';' && !InsideQuotes(text, at - 1));
}

}  // namespace

WordAtCursor FindWordAtCursor(std::string_view text) {
  WordAtCursor word;
  word.start = text.size();
  while (word.start > 0 && IsWordChar(text[word.start - 1]))
    --word.start;
  word.quoted = InsideQuotes(text, word.start);
  if (word.quoted) {
    word.kind = WordAtCursor::Kind::kArgument;
  } else if (word.start > 0 && text[word.start - 1] == '.' &&
             AtStatementStart(text, word.start - 1)) {
    word.kind = WordAtCursor::Kind::kCommand;
  } else {
    word.kind = AtStatementStart(text, word.start) ? WordAtCursor::Kind::kStatement
                                                   : WordAtCursor::Kind::kArgument;
  }
  return word;
}

std::vector<std::string> Matching(std::string_view prefix, const std::vector<std::string>& names) {
  std::vector<std::string> matching;
  for (const std::string& name : names) {
    if (StartsWithNoCase(name, prefix)) matching.push_back(name);
  }
  return matching;
}

std::string CommonPrefix(const std::vector<std::string>& words) {
  if (words.empty()) return "";
  size_t length = words[0].size();
  for (const std::string& word : words) {
    size_t i = 0;
    while (i < length && i < word.size() && AsciiLower(word[i]) == AsciiLower(words[0][i]))
      ++i;
    length = i;
  }
  // Never half a character: names differing in a later byte of one share its first.
  while (length > 0 && length < words[0].size() && (words[0][length] & 0xC0) == 0x80)
    --length;
  return words[0].substr(0, length);
}

}  // namespace vorlix::shell
