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

namespace {

// Words that end the type of a column definition.
bool EndsColumnType(const Token& t) {
  for (const char* word : {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT",
                           "COLLATE", "REFERENCES", "GENERATED", "AS"}) {
    if (t.Is(word)) return true;
  }
  return false;
}

// Where " COLLATE NOCASE" goes for the column definition t[begin, end), or npos.
size_t CollationPlace(const std::vector<Token>& t, size_t begin, size_t end,
                      const std::string& sql) {
  if (begin + 1 >= end) return std::string::npos;  // a name without a type
  for (const char* word : {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"}) {
    if (t[begin].Is(word)) return std::string::npos;  // a table constraint
  }
  size_t typeEnd = begin + 1;
  int depth = 0;
  while (typeEnd < end && (depth > 0 || !EndsColumnType(t[typeEnd]))) {
    depth += t[typeEnd].IsPunct('(', sql) - t[typeEnd].IsPunct(')', sql);
    ++typeEnd;
  }
  for (size_t i = typeEnd; i < end; ++i) {
    if (t[i].Is("COLLATE")) return std::string::npos;
  }
  if (typeEnd == begin + 1) return std::string::npos;
  const std::string type = sql.substr(t[begin + 1].begin, t[typeEnd - 1].end - t[begin + 1].begin);
  if (!ParseDeclaredType(type).type->noCase) return std::string::npos;
  return t[end - 1].end;
}

}  // namespace

std::string WithTextCollation(const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->size() < 4) return sql;
  const std::vector<Token>& t = *tokens;
  std::vector<size_t> places;
  if (t[0].Is("ALTER") && t[1].Is("TABLE") && t[3].Is("ADD")) {
    const size_t def = t.size() > 5 && t[4].Is("COLUMN") ? 5 : 4;
    size_t end = t.size();
    while (end > def && t[end - 1].IsPunct(';', sql))
      --end;
    places.push_back(CollationPlace(t, def, end, sql));
  } else if (t[0].Is("CREATE")) {
    size_t i = 1;
    while (i < t.size() && !t[i].Is("TABLE") && !t[i].IsPunct('(', sql))
      ++i;
    if (i == t.size() || !t[i].Is("TABLE")) return sql;
    while (i < t.size() && !t[i].IsPunct('(', sql) && !t[i].Is("AS"))
      ++i;
    if (i == t.size() || t[i].Is("AS")) return sql;
    // Definitions are separated by commas outside parentheses, up to the closing one.
    int depth = 0;
    size_t begin = i + 1;
    for (size_t j = i + 1; j < t.size(); ++j) {
      if (t[j].IsPunct('(', sql)) ++depth;
      const bool close = t[j].IsPunct(')', sql) && depth-- == 0;
      if (close || (depth == 0 && t[j].IsPunct(',', sql))) {
        places.push_back(CollationPlace(t, begin, j, sql));
        begin = j + 1;
      }
      if (close) break;
    }
  }
  std::string out = sql;
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    if (*place != std::string::npos) out.insert(*place, " COLLATE NOCASE");
  }
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
