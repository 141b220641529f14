// Registry: the keys and values under HKEY_CLASSES_ROOT that registration writes and activation
// reads, in memory, and their text form. Key paths are relative to HKEY_CLASSES_ROOT and use
// '\' between names ("CLSID\{...}\LocalServer32"); names of keys and values compare without
// regard to ASCII letter case, as registry names do. The default value of a key has the name "".
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

class Registry {
 public:
  bool HasKey(std::string_view path) const;
  // The value, or nullopt when the key or the value is missing.
  std::optional<std::string> Value(std::string_view path, std::string_view name) const;
  // Creates the key and any missing key above it.
  void CreateKey(std::string_view path);
  // Creates the key as CreateKey does, then sets the value.
  void SetValue(std::string_view path, std::string_view name, std::string_view value);
  // Removes the key with every key below it; nothing when it is missing.
  void DeleteTree(std::string_view path);

  // The text form: per key in name order a "[HKEY_CLASSES_ROOT\path]" line, then its values as
  // @="default" and "name"="value" lines, '\' and '"' escaped with '\'.
  std::string ToText() const;
  // Reads the text form back; nullopt with *error ("line 3: ...") for anything else. Blank
  // lines are allowed between entries.
  static std::optional<Registry> FromText(std::string_view text, std::string* error);

  friend bool operator==(const Registry&, const Registry&) = default;

 private:
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Values = std::map<std::string, std::string, NameLess>;
  std::map<std::string, Values, NameLess> keys_;
};

}  // namespace vorlix
