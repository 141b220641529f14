#include "engine/recordsets/QueryText.h"

#include "engine/DaoException.h"
#include "engine/store/SqlText.h"
#include "engine/store/TextCollation.h"

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

// A change of SQL text: the bytes [begin, end) become text.
struct Edit {
  size_t begin;
  size_t end;
  std::string text;
};

// Adds the edits of the column definition t[begin, end) to edits, in text order.
void EditColumn(const std::vector<Token>& t, size_t begin, size_t end, const std::string& sql,
                std::vector<Edit>& edits) {
  if (begin + 1 >= end) return;  // a name without a type
  for (const char* word : {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"}) {
    if (t[begin].Is(word)) return;  // a table constraint
  }
  size_t typeEnd = begin + 1;
  int depth = 0;
  while (typeEnd < end && (depth > 0 || !EndsColumnType(t[typeEnd]))) {
    depth += t[typeEnd].IsPunct('(', sql) - t[typeEnd].IsPunct(')', sql);
    ++typeEnd;
  }
  if (typeEnd == begin + 1) return;
  const std::string type = sql.substr(t[begin + 1].begin, t[typeEnd - 1].end - t[begin + 1].begin);
  if (const char* declared = TextAffinityDeclared(type)) {
    edits.push_back({t[begin + 1].begin, t[begin + 1].end, declared});
  }
  for (size_t i = typeEnd; i < end; ++i) {
    if (t[i].Is("COLLATE")) return;
  }
  if (ParseDeclaredType(type).type->noCase) {
    edits.push_back({t[end - 1].end, t[end - 1].end, std::string(" COLLATE ") + kTextCollation});
  }
}

}  // namespace

std::string WithEngineColumns(const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->size() < 4) return sql;
  const std::vector<Token>& t = *tokens;
  std::vector<Edit> edits;
  if (t[0].Is("ALTER") && t[1].Is("TABLE")) {
    const size_t add = ReadQualifiedName(t, 2, sql).end;
    if (add >= t.size() || !t[add].Is("ADD")) return sql;
    const size_t def = add + 1 < t.size() && t[add + 1].Is("COLUMN") ? add + 2 : add + 1;
    size_t end = t.size();
    while (end > def && t[end - 1].IsPunct(';', sql))
      --end;
    EditColumn(t, def, end, sql, edits);
  } else if (t[0].Is("CREATE")) {
    size_t i = 1;
    while (i < t.size() && !t[i].Is("TABLE") && !t[i].IsPunct('(', sql))
      ++i;
    if (i == t.size() || !t[i].Is("TABLE")) return sql;
    // A table made from a query, or a virtual table whose module reads its own arguments, has
    // no column definitions.
    while (i < t.size() && !t[i].IsPunct('(', sql) && !t[i].Is("AS") && !t[i].Is("USING"))
      ++i;
    if (i == t.size() || !t[i].IsPunct('(', sql)) return sql;
    // Definitions are separated by commas outside parentheses, up to the closing one.
    int depth = 0;
    size_t begin = i + 1;
    for (size_t j = i + 1; j < t.size(); ++j) {
      if (t[j].IsPunct('(', sql)) ++depth;
      const bool close = t[j].IsPunct(')', sql) && depth-- == 0;
      if (close || (depth == 0 && t[j].IsPunct(',', sql))) {
        EditColumn(t, begin, j, sql, edits);
        begin = j + 1;
      }
      if (close) break;
    }
  }
  // From the last edit back, so that the offsets of the earlier ones still hold.
  std::string out = sql;
  for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit)
    out.replace(edit->begin, edit->end - edit->begin, edit->text);
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
