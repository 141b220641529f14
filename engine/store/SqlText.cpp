#include "engine/store/SqlText.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vorlix {
namespace {

std::string Doubled(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

bool IsWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// Finds the end of a quoted run starting at i (the opening quote), where a doubled closing
// quote stands for itself. Returns npos when the text ends first.
size_t QuotedEnd(std::string_view sql, size_t i, char close) {
  for (size_t j = i + 1; j < sql.size(); ++j) {
    if (sql[j] != close) continue;
    if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::vector<Token>> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < sql.size()) {
    const unsigned char c = sql[i];
    if (std::isspace(c)) {
      ++i;
    } else if (sql.substr(i, 2) == "--") {
      i = sql.find('\n', i);
      if (i == std::string_view::npos) break;
    } else if (sql.substr(i, 2) == "/*") {
      size_t close = sql.find("*/", i + 2);
      if (close == std::string_view::npos) break;
      i = close + 2;
    } else if (c == '"' || c == '[' || c == '`' || c == '\'') {
      const char close = c == '[' ? ']' : static_cast<char>(c);
      size_t end = QuotedEnd(sql, i, close);
      if (end == std::string_view::npos) return std::nullopt;
      tokens.push_back({c == '\'' ? Token::kString : Token::kQuotedName, i, end, {}});
      i = end;
    } else if (IsWordChar(c)) {
      size_t end = i;
      while (end < sql.size() && IsWordChar(sql[end]))
        ++end;
      tokens.push_back({Token::kWord, i, end, AsciiUpper(sql.substr(i, end - i))});
      i = end;
    } else {
      tokens.push_back({Token::kPunct, i, i + 1, {}});
      ++i;
    }
  }
  return tokens;
}

std::string NameOf(const Token& t, std::string_view sql) {
  std::string_view text = sql.substr(t.begin, t.end - t.begin);
  if (t.kind != Token::kQuotedName) return std::string(text);
  std::string name;
  const char close = text.front() == '[' ? ']' : text.front();
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    name += text[i];
    if (text[i] == close && close != ']') ++i;
  }
  return name;
}

QualifiedName ReadQualifiedName(const std::vector<Token>& t, size_t i, std::string_view sql) {
  if (i + 2 < t.size() && t[i + 1].IsPunct('.', sql)) return {NameOf(t[i], sql), i + 2, i + 3};
  return {std::string(), i, i + 1};
}

namespace {

// Index just past a parenthesised group starting at i, or i when there is none.
size_t SkipGroup(const std::vector<Token>& t, size_t i, size_t end, std::string_view sql) {
  if (i >= end || !t[i].IsPunct('(', sql)) return i;
  int depth = 0;
  for (; i < end; ++i) {
    if (t[i].IsPunct('(', sql)) ++depth;
    if (t[i].IsPunct(')', sql) && --depth == 0) return i + 1;
  }
  return end;
}

// Index just past the clause "REFERENCES table [(columns)] [actions ...]" that starts at i.
size_t ReferencesEnd(const std::vector<Token>& t, size_t i, size_t end, std::string_view sql) {
  i = SkipGroup(t, i + 2, end, sql);  // REFERENCES, the table, its column list
  while (i < end) {
    if (t[i].Is("ON") && i + 2 < end) {
      i += 2;  // ON DELETE | ON UPDATE
      i += (t[i].Is("SET") || t[i].Is("NO")) ? 2 : 1;
    } else if (t[i].Is("MATCH")) {
      i += 2;
    } else if (t[i].Is("NOT") && i + 1 < end && t[i + 1].Is("DEFERRABLE")) {
      i += 1;
    } else if (t[i].Is("DEFERRABLE")) {
      i += 1;
      if (i < end && t[i].Is("INITIALLY")) i += 2;
    } else {
      break;
    }
  }
  return std::min(i, end);
}

}  // namespace

std::string QuoteName(std::string_view name) {
  return Doubled(name, '"');
}

std::string QuoteText(std::string_view text) {
  return Doubled(text, '\'');
}

std::optional<CreateTableSql> ParseCreateTable(std::string sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens) return std::nullopt;
  const std::vector<Token>& t = *tokens;

  size_t open = 0;
  while (open < t.size() && !t[open].IsPunct('(', sql))
    ++open;
  if (open < 3 || open == t.size() || !t[0].Is("CREATE")) return std::nullopt;
  size_t close = SkipGroup(t, open, t.size(), sql);
  if (close == open || !t[close - 1].IsPunct(')', sql)) return std::nullopt;
  --close;  // the closing parenthesis

  CreateTableSql out;
  out.nameBegin = t[open - 1].begin;
  out.nameEnd = t[open - 1].end;
  out.withoutRowid = false;
  for (size_t i = close + 1; i + 1 < t.size(); ++i) {
    if (t[i].Is("WITHOUT") && t[i + 1].Is("ROWID")) out.withoutRowid = true;
  }

  // Definitions are separated by commas outside parentheses.
  size_t defBegin = open + 1;
  out.columnsEnd = t[open].end;
  for (size_t i = open + 1; i <= close; ++i) {
    if (t[i].IsPunct('(', sql)) {
      i = SkipGroup(t, i, close, sql) - 1;
      continue;
    }
    if (i < close && !t[i].IsPunct(',', sql)) continue;
    const size_t defEnd = i;
    if (defBegin == defEnd) return std::nullopt;
    const Token& first = t[defBegin];
    const bool constraint = first.Is("CONSTRAINT") || first.Is("PRIMARY") || first.Is("UNIQUE") ||
                            first.Is("CHECK") || first.Is("FOREIGN");
    if (!constraint) {
      out.columnsEnd = t[defEnd - 1].end;
      for (size_t j = defBegin + 1; j < defEnd; ++j) {
        if (t[j].IsPunct('(', sql)) j = SkipGroup(t, j, defEnd, sql) - 1;
        if (!t[j].Is("REFERENCES")) continue;
        const bool named = j >= defBegin + 2 && t[j - 2].Is("CONSTRAINT");
        const size_t from = named ? j - 2 : j;
        const size_t to = ReferencesEnd(t, j, defEnd, sql);
        out.foreignKeys.push_back(
            {named ? NameOf(t[j - 1], sql) : std::string(), t[from - 1].end, t[to - 1].end});
        j = to - 1;
      }
    } else {
      size_t k = first.Is("CONSTRAINT") ? defBegin + 2 : defBegin;
      if (k < defEnd && t[k].Is("FOREIGN")) {
        // The whole definition goes, with the comma before it (a constraint never comes
        // first: columns precede constraints).
        out.foreignKeys.push_back(
            {first.Is("CONSTRAINT") ? NameOf(t[defBegin + 1], sql) : std::string(),
             t[defBegin - 1].begin, t[defEnd - 1].end});
      }
    }
    defBegin = i + 1;
  }
  out.sql = std::move(sql);
  return out;
}

std::string CreateTableSql::WithName(std::string_view quotedName) const {
  std::string s = sql;
  return s.replace(nameBegin, nameEnd - nameBegin, quotedName);
}

std::string CreateTableSql::WithoutForeignKey(size_t i, std::string_view quotedName) const {
  std::string s = sql;
  s.erase(foreignKeys[i].cutBegin, foreignKeys[i].cutEnd - foreignKeys[i].cutBegin);
  return s.replace(nameBegin, nameEnd - nameBegin, quotedName);
}

std::string CreateTableSql::WithColumn(std::string_view columnDefinition,
                                       std::string_view quotedName) const {
  std::string s = sql;
  s.insert(columnsEnd, ", " + std::string(columnDefinition));
  return s.replace(nameBegin, nameEnd - nameBegin, quotedName);
}

}  // namespace vorlix
