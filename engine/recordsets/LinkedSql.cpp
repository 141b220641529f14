#include "engine/recordsets/LinkedSql.h"

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Links.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// Words after a table name that show the statement gives it no alias of its own.
bool EndsTableName(const Token& t, const std::string& sql) {
  if (t.kind == Token::kPunct) return !t.IsPunct('.', sql);
  for (const char* word :
       {"WHERE",  "JOIN",      "INNER", "LEFT",      "RIGHT",   "FULL",   "CROSS",  "NATURAL",
        "ON",     "USING",     "GROUP", "ORDER",     "LIMIT",   "HAVING", "WINDOW", "UNION",
        "EXCEPT", "INTERSECT", "SET",   "RETURNING", "INDEXED", "NOT"}) {
    if (t.Is(word)) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> DroppedLink(CDaoDatabase& db, const std::string& sql) {
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens || tokens->size() < 3) return std::nullopt;
  const std::vector<Token>& t = *tokens;
  if (!t[0].Is("DROP") || !t[1].Is("TABLE")) return std::nullopt;
  size_t i = 2;
  if (i + 1 < t.size() && t[i].Is("IF") && t[i + 1].Is("EXISTS")) i += 2;
  if (i >= t.size()) return std::nullopt;
  const QualifiedName name = ReadQualifiedName(t, i, sql);
  if (!name.schema.empty() && !EqualNoCase(name.schema, "main")) return std::nullopt;
  if (t[name.name].kind != Token::kWord && t[name.name].kind != Token::kQuotedName) {
    return std::nullopt;
  }
  for (size_t j = name.end; j < t.size(); ++j) {
    if (!t[j].IsPunct(';', sql)) return std::nullopt;  // not this statement alone
  }
  const std::string wanted = NameOf(t[name.name], sql);
  for (const TableEntry& e : Internal(db).Tables()) {
    if (e.isLink && EqualNoCase(e.name, wanted)) return e.name;
  }
  return std::nullopt;
}

std::string ResolveLinks(CDaoDatabase& db, const std::string& sql) {
  std::vector<const TableEntry*> links;
  for (const TableEntry& t : Internal(db).Tables()) {
    if (t.isLink) links.push_back(&t);
  }
  if (links.empty()) return sql;
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens) return sql;  // SQLite reports the open quote
  const std::vector<Token>& t = *tokens;

  std::string out;
  size_t copied = 0;
  bool inFrom = false;
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& token = t[i];
    if (token.Is("FROM")) inFrom = true;
    if (token.Is("WHERE") || token.Is("GROUP") || token.Is("ORDER") || token.Is("SELECT") ||
        token.Is("SET") || token.Is("VALUES") || token.IsPunct(')', sql)) {
      inFrom = false;
    }
    if (i == 0 || (token.kind != Token::kWord && token.kind != Token::kQuotedName)) continue;
    const Token& prev = t[i - 1];
    const bool tablePlace = prev.Is("FROM") || prev.Is("JOIN") || prev.Is("INTO") ||
                            prev.Is("UPDATE") || prev.Is("TABLE") ||
                            (inFrom && prev.IsPunct(',', sql));
    if (!tablePlace || (i + 1 < t.size() && t[i + 1].IsPunct('.', sql))) continue;
    const std::string name = NameOf(token, sql);
    for (const TableEntry* link : links) {
      if (!EqualNoCase(link->name, name)) continue;
      out += sql.substr(copied, token.begin - copied);
      out += QuoteName(AttachLink(Internal(db).Db(), *link)) + "." + QuoteName(link->sourceTable);
      const bool aliasable =
          prev.Is("FROM") || prev.Is("JOIN") || prev.Is("UPDATE") || prev.IsPunct(',', sql);
      if (aliasable && (i + 1 == t.size() || EndsTableName(t[i + 1], sql))) {
        out += " AS " + QuoteName(link->name);
      }
      copied = token.end;
      break;
    }
  }
  return out + sql.substr(copied);
}

}  // namespace vorlix
