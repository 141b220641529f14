// SQL typed as it is: a line that begins with an SQL keyword is SQL, not a method call, and
// its statement runs to a ';' outside quotes, over as many lines as it takes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::shell {

// Whether the line begins with an SQL keyword (SELECT, INSERT, UPDATE, DELETE, CREATE, DROP,
// ALTER, WITH, in any letter case) followed by more of the statement. A keyword alone, or
// followed only by ';' or a comment, stays a method call: Delete is also a method.
bool IsSqlLine(std::string_view line);

// The keywords that begin SQL lines, in capitals, for completion.
std::vector<std::string> SqlKeywords();

// Whether rows come back from the statement (SELECT, WITH): those go to the SQL method, the
// others are commands.
bool ReturnsRows(std::string_view statement);

// Where the first ';' outside '...', "..." and [...] stands in text; npos when there is none.
size_t StatementEnd(std::string_view text);

}  // namespace vorlix::shell
