#include "engine/QueryText.h"

#include "engine/DaoException.h"
#include "engine/SqlText.h"

namespace vorlix {
namespace {

[[noreturn]] void BadDeclaration(std::string_view text, const std::string& why) {
  ThrowDao(dao_error::kSyntaxError,
           "Syntax error in the PARAMETERS declaration (" + why + "): " + std::string(text));
}

}  // namespace

QueryText ReadQueryText(std::string_view text) {
  std::optional<std::vector<Token>> tokens = Tokenize(text);
  if (!tokens) {
    ThrowDao(dao_error::kSyntaxError, "A quote is not closed in: " + std::string(text));
  }
  const std::vector<Token>& t = *tokens;
  QueryText out;
  size_t body = 0;  // byte offset where the statement begins
  if (!t.empty() && t[0].Is("PARAMETERS")) {
    size_t i = 1;
    for (;;) {
      if (i >= t.size() || (t[i].kind != Token::kWord && t[i].kind != Token::kQuotedName)) {
        BadDeclaration(text, "a parameter name is missing");
      }
      QueryParameter p;
      p.name = NameOf(t[i], text);
      for (const QueryParameter& other : out.parameters) {
        if (EqualNoCase(other.name, p.name)) BadDeclaration(text, p.name + " is declared twice");
      }
      // The type runs to the next ',' or ';' outside parentheses: "TEXT (50)", "LONG".
      const size_t typeBegin = ++i;
      int depth = 0;
      while (i < t.size() &&
             (depth > 0 || (!t[i].IsPunct(',', text) && !t[i].IsPunct(';', text)))) {
        depth += t[i].IsPunct('(', text) - t[i].IsPunct(')', text);
        ++i;
      }
      if (i == typeBegin || i == t.size()) BadDeclaration(text, "a type or the ';' is missing");
      const std::string_view type =
          text.substr(t[typeBegin].begin, t[i - 1].end - t[typeBegin].begin);
      const DeclaredType dt = ParseDeclaredType(type);
      p.type = dt.type;
      p.size = dt.size;
      out.parameters.push_back(std::move(p));
      if (t[i++].IsPunct(';', text)) break;
    }
    body = i < t.size() ? t[i].begin : text.size();
  }

  // References are bracketed names that match a declared parameter; any other bracketed name
  // is a name of the database.
  size_t copied = body;
  for (const Token& token : t) {
    if (token.begin < body || token.kind != Token::kQuotedName || text[token.begin] != '[') {
      continue;
    }
    const std::string name = NameOf(token, text);
    for (size_t p = 0; p < out.parameters.size(); ++p) {
      if (!EqualNoCase(out.parameters[p].name, name)) continue;
      out.sql.append(text.substr(copied, token.begin - copied));
      out.sql += "?" + std::to_string(p + 1);
      copied = token.end;
    }
  }
  out.sql.append(text.substr(copied));
  return out;
}

bool HasSecondStatement(std::string_view sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens) return false;  // SQLite reports the open quote
  bool ended = false;
  for (const Token& token : *tokens) {
    if (token.IsPunct(';', sql)) {
      ended = true;
    } else if (ended) {
      return true;
    }
  }
  return false;
}

}  // namespace vorlix
