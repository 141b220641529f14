// SQL text the engine builds and edits: quoting of names and literals, and the reading of a
// CREATE TABLE statement into the parts a table rebuild changes (its name, the place of a new
// column, its foreign keys).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/AsciiCase.h"  // names compare as SQLite compares them

namespace vorlix {

// "name" with embedded quotes doubled: an identifier whatever it holds.
std::string QuoteName(std::string_view name);
// 'text' with embedded quotes doubled.
std::string QuoteText(std::string_view text);

// A token of SQL text, as a byte range of it: a bare word, a quoted name ("x", [x] or `x`), a
// string literal, or one punctuation character. Space and comments are not tokens.
struct Token {
  enum Kind { kWord, kQuotedName, kString, kPunct } kind;
  size_t begin;
  size_t end;
  std::string upper;  // bare words only: the word in upper case

  bool Is(const char* word) const { return kind == kWord && upper == word; }
  bool IsPunct(char c, std::string_view sql) const { return kind == kPunct && sql[begin] == c; }
};

// The tokens of sql; nullopt when a quote is not closed.
std::optional<std::vector<Token>> Tokenize(std::string_view sql);

// The bare name of a word or quoted-name token: quotes removed, doubled quotes undone.
std::string NameOf(const Token& t, std::string_view sql);

// The name "[schema.]name" that begins at token i: its schema as written (empty when none is
// given), the index of the name's token and the index just past it.
struct QualifiedName {
  std::string schema;
  size_t name;
  size_t end;
};
QualifiedName ReadQualifiedName(const std::vector<Token>& t, size_t i, std::string_view sql);

// A foreign key declared in a CREATE TABLE statement: its constraint name (empty when it has
// none) and the text to cut out to drop it, as a byte range of the statement.
struct ForeignKeyClause {
  std::string name;
  size_t cutBegin;
  size_t cutEnd;
};

struct CreateTableSql {
  std::string sql;
  size_t nameBegin;  // the table's name, as written
  size_t nameEnd;
  size_t columnsEnd;  // just after the last column definition
  bool withoutRowid;
  std::vector<ForeignKeyClause> foreignKeys;  // in the order written

  // The statement with another (already quoted) table name.
  std::string WithName(std::string_view quotedName) const;
  // The statement without foreign key i (and with the given quoted name).
  std::string WithoutForeignKey(size_t i, std::string_view quotedName) const;
  // The statement with one more column definition after the last one.
  std::string WithColumn(std::string_view columnDefinition, std::string_view quotedName) const;
};

// Reads a CREATE TABLE statement as stored by SQLite; nullopt for forms without a column list
// (CREATE TABLE ... AS SELECT) or text it cannot follow.
std::optional<CreateTableSql> ParseCreateTable(std::string sql);

}  // namespace vorlix
