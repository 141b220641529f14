// What the word at the cursor may complete to: the choice of names is the shell's language,
// apart from the terminal so that tests reach it alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::shell {

struct WordAtCursor {
  enum class Kind {
    kStatement,  // the first word of a statement: a method name
    kCommand,    // a dot-command's name (".tab"); the word holds no dot
    kArgument,   // any later word, bare or inside quotes: a table name
  };
  Kind kind = Kind::kStatement;
  size_t start = 0;  // where the word begins in the text
  bool quoted = false;
};

// The word that text (a line up to the cursor) ends in; the word may be empty.
WordAtCursor FindWordAtCursor(std::string_view text);

// The names that begin with prefix without regard to ASCII letter case, in their order.
std::vector<std::string> Matching(std::string_view prefix, const std::vector<std::string>& names);

// The longest beginning that all words share without regard to ASCII letter case, spelled as
// in the first; "" when words is empty.
std::string CommonPrefix(const std::vector<std::string>& words);

}  // namespace vorlix::shell
