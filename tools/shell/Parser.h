// The shell's input language: one line holds statements separated by ';'. A statement is a
// method call (a name, then arguments separated by spaces), a dot-command (".help Open",
// ".import \"my file.csv\" People"), a comment (from a '#' where a statement begins to the end of
// the line) or nothing. A command's words are separated by spaces; a word with spaces or ';' is
// quoted like text.
//
// Arguments are literals: "text" (a doubled "" is one quote), integers (-12), numbers with a
// point or exponent (1.5, 2e3), true, false, null, empty (words in any letter case), dates
// (#1815-12-10#, #1815-12-10 13:45:00#) and arrays ([1, "a", [2]]: VARIANT elements, lower
// bound 0). A '#' inside a statement always starts a date.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Variant.h"

namespace vorlix::shell {

struct Statement {
  bool command = false;            // a dot-command: name without the dot, arguments in words
  std::string name;                // method or command name
  std::vector<Variant> args;       // a call's arguments
  std::vector<std::string> words;  // a command's arguments
};

struct ParseError {
  size_t column = 0;  // 1-based, in characters, where the offending token starts
  std::string message;
};

// Appends the line's statements to *statements; on bad input returns false with *error set and
// appends nothing from that line. With sqlStart, the statements end where an SQL statement
// (IsSqlLine) begins in a statement's place, and *sqlStart tells where; npos when none does.
bool ParseLine(std::string_view line, std::vector<Statement>* statements, ParseError* error,
               size_t* sqlStart = nullptr);

}  // namespace vorlix::shell
