#include "activation/RegistryScript.h"

#include <cctype>

#include "automation/AsciiCase.h"

namespace vorlix {

namespace {

struct Token {
  std::string text;
  bool quoted = false;
  int line = 0;
};

bool IsKeyword(const Token& token, std::string_view keyword) {
  return !token.quoted && EqualNoCase(token.text, keyword);
}

class Parser {
 public:
  Parser(std::string_view script, const ScriptReplacements& replacements, std::string* error)
      : script_(script), replacements_(replacements), error_(error) {}

  std::optional<std::vector<ScriptKey>> Parse() {
    if (!Tokenize()) return std::nullopt;
    std::vector<ScriptKey> keys;
    while (pos_ < tokens_.size()) {
      const Token& root = tokens_[pos_++];
      if (!IsKeyword(root, "HKCR") && !IsKeyword(root, "HKEY_CLASSES_ROOT")) {
        return Fail(root.line, "expected the root HKCR, found '" + root.text + "'");
      }
      if (!Expect("{")) return std::nullopt;
      if (!Block(&keys, nullptr)) return std::nullopt;
    }
    return keys;
  }

 private:
  std::nullopt_t Fail(int line, const std::string& what) {
    *error_ = "line " + std::to_string(line) + ": " + what;
    return std::nullopt;
  }

  bool Tokenize() {
    int line = 1;
    for (size_t i = 0; i < script_.size();) {
      const char c = script_[i];
      if (c == '\n') ++line;
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      Token token;
      token.line = line;
      std::string raw;
      if (c == '\'') {
        token.quoted = true;
        for (++i;; ++i) {
          if (i == script_.size()) return Fail(token.line, "a quoted text is not closed"), false;
          if (script_[i] == '\n') ++line;
          if (script_[i] == '\'') {
            if (i + 1 < script_.size() && script_[i + 1] == '\'') {
              ++i;
            } else {
              ++i;
              break;
            }
          }
          raw += script_[i];
        }
      } else {
        while (i < script_.size() && script_[i] != '\'' &&
               !std::isspace(static_cast<unsigned char>(script_[i]))) {
          raw += script_[i++];
        }
      }
      if (!Replace(raw, token.line, &token.text)) return false;
      tokens_.push_back(std::move(token));
    }
    return true;
  }

  bool Replace(std::string_view raw, int line, std::string* out) {
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '%') {
        *out += raw[i];
        continue;
      }
      const size_t end = raw.find('%', i + 1);
      if (end == std::string_view::npos) return Fail(line, "a '%' is not closed"), false;
      const std::string name(raw.substr(i + 1, end - i - 1));
      if (name.empty()) {
        *out += '%';
      } else {
        auto it = replacements_.find(name);
        if (it == replacements_.end())
          return Fail(line, "unknown replacement %" + name + "%"), false;
        *out += it->second;
      }
      i = end;
    }
    return true;
  }

  const Token* Next() { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }
  int Line() const {
    return tokens_.empty() ? 1 : tokens_[std::min(pos_, tokens_.size() - 1)].line;
  }

  bool Expect(std::string_view what) {
    const Token* token = Next();
    if (!token || token->quoted || token->text != what) {
      return Fail(Line(), "expected '" + std::string(what) + "'"), false;
    }
    ++pos_;
    return true;
  }

  // "= s 'text'": the string value after a name.
  bool StringValue(std::string* value) {
    if (!Expect("=")) return false;
    const Token* type = Next();
    if (!type || !IsKeyword(*type, "s")) {
      return Fail(Line(), "only string values (s) are supported"), false;
    }
    ++pos_;
    const Token* text = Next();
    if (!text || (!text->quoted && (text->text == "{" || text->text == "}"))) {
      return Fail(Line(), "expected the value's text"), false;
    }
    *value = text->text;
    ++pos_;
    return true;
  }

  bool Name(std::string* name) {
    const Token* token = Next();
    if (!token ||
        (!token->quoted && (token->text == "{" || token->text == "}" || token->text == "="))) {
      return Fail(Line(), "expected a name"), false;
    }
    if (token->text.empty() || token->text.find('\\') != std::string::npos) {
      return Fail(token->line, "a name must not be empty or hold '\\'"), false;
    }
    *name = token->text;
    ++pos_;
    return true;
  }

  // The entries up to and including the closing '}'; owner is null at the root, which holds
  // keys only.
  bool Block(std::vector<ScriptKey>* keys, ScriptKey* owner) {
    for (;;) {
      const Token* token = Next();
      if (!token) return Fail(Line(), "expected '}'"), false;
      if (!token->quoted && token->text == "}") {
        ++pos_;
        return true;
      }
      if (IsKeyword(*token, "val")) {
        if (!owner) return Fail(token->line, "HKEY_CLASSES_ROOT cannot hold values"), false;
        ++pos_;
        std::pair<std::string, std::string> value;
        if (!Name(&value.first) || !StringValue(&value.second)) return false;
        owner->values.push_back(std::move(value));
        continue;
      }
      ScriptKey key;
      for (; Next(); ++pos_) {
        if (IsKeyword(*Next(), "NoRemove")) {
          key.noRemove = true;
        } else if (IsKeyword(*Next(), "ForceRemove")) {
          key.forceRemove = true;
        } else {
          break;
        }
      }
      if (!Name(&key.name)) return false;
      const Token* after = Next();
      if (after && !after->quoted && after->text == "=") {
        key.defaultValue.emplace();
        if (!StringValue(&*key.defaultValue)) return false;
        after = Next();
      }
      if (after && !after->quoted && after->text == "{") {
        ++pos_;
        if (!Block(&key.subkeys, &key)) return false;
      }
      keys->push_back(std::move(key));
    }
  }

  std::string_view script_;
  const ScriptReplacements& replacements_;
  std::string* error_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<std::vector<ScriptKey>> ParseRegistryScript(std::string_view script,
                                                          const ScriptReplacements& replacements,
                                                          std::string* error) {
  return Parser(script, replacements, error).Parse();
}

}  // namespace vorlix
