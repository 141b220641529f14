#include "activation/Registry.h"

#include <algorithm>

#include "automation/AsciiCase.h"

namespace vorlix {

namespace {

constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT\\";

void AppendQuoted(std::string* out, std::string_view s) {
  *out += '"';
  for (char c : s) {
    if (c == '\\' || c == '"') *out += '\\';
    *out += c;
  }
  *out += '"';
}

// Reads a quoted string at the start of *s and removes it from *s; false when there is none.
bool TakeQuoted(std::string_view* s, std::string* out) {
  if (s->empty() || s->front() != '"') return false;
  out->clear();
  for (size_t i = 1; i < s->size(); ++i) {
    char c = (*s)[i];
    if (c == '"') {
      s->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (++i == s->size()) return false;
      c = (*s)[i];
    }
    *out += c;
  }
  return false;
}

bool ValidPath(std::string_view path) {
  return !path.empty() && path.front() != '\\' && path.back() != '\\' &&
         path.find("\\\\") == std::string_view::npos;
}

}  // namespace

bool Registry::NameLess::operator()(std::string_view a, std::string_view b) const {
  return LessNoCase(a, b);
}

bool Registry::HasKey(std::string_view path) const {
  return keys_.find(path) != keys_.end();
}

std::optional<std::string> Registry::Value(std::string_view path, std::string_view name) const {
  auto key = keys_.find(path);
  if (key == keys_.end()) return std::nullopt;
  auto value = key->second.find(name);
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

void Registry::CreateKey(std::string_view path) {
  for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
    std::string_view key = path.substr(0, end);
    if (!HasKey(key)) keys_.emplace(std::string(key), Values());
    if (end == std::string_view::npos) return;
  }
}

void Registry::SetValue(std::string_view path, std::string_view name, std::string_view value) {
  CreateKey(path);
  Values& values = keys_.find(path)->second;
  auto it = values.find(name);
  if (it == values.end()) {
    values.emplace(std::string(name), std::string(value));
  } else {
    it->second = value;
  }
}

void Registry::DeleteTree(std::string_view path) {
  // The keys below are the ones that begin with path + '\\'; they sort together, though not
  // necessarily next to the key itself ("A.1" sorts between "A" and "A\\B").
  const std::string below = std::string(path) + '\\';
  auto first = keys_.lower_bound(below);
  auto last = first;
  while (last != keys_.end() && StartsWithNoCase(last->first, below))
    ++last;
  keys_.erase(first, last);
  auto key = keys_.find(path);
  if (key != keys_.end()) keys_.erase(key);
}

std::string Registry::ToText() const {
  std::string text;
  for (const auto& [path, values] : keys_) {
    text += '[';
    text += kRoot;
    text += path;
    text += "]\n";
    for (const auto& [name, value] : values) {
      if (name.empty()) {
        text += '@';
      } else {
        AppendQuoted(&text, name);
      }
      text += '=';
      AppendQuoted(&text, value);
      text += '\n';
    }
  }
  return text;
}

std::optional<Registry> Registry::FromText(std::string_view text, std::string* error) {
  Registry registry;
  std::string key;
  int number = 0;
  auto fail = [&](std::string_view what) {
    *error = "line " + std::to_string(number) + ": " + std::string(what);
    return std::nullopt;
  };
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("a key line must end with ']'");
      line = line.substr(1, line.size() - 2);
      if (!line.starts_with(kRoot)) return fail("a key path must begin with HKEY_CLASSES_ROOT\\");
      line.remove_prefix(kRoot.size());
      if (!ValidPath(line)) return fail("a key path must not hold an empty name");
      key = line;
      registry.CreateKey(key);
      continue;
    }
    if (key.empty()) return fail("a value must follow a key line");
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (!TakeQuoted(&line, &name) || name.empty()) {
      return fail("expected @ or a quoted value name");
    }
    std::string value;
    if (line.empty() || line.front() != '=') return fail("expected '=' after the value name");
    line.remove_prefix(1);
    if (!TakeQuoted(&line, &value) || !line.empty()) return fail("expected a quoted value");
    registry.SetValue(key, name, value);
  }
  return registry;
}

}  // namespace vorlix
