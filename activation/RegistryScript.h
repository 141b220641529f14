// Registration scripts: the key trees a server writes into the registry when it is registered
// and removes when it is unregistered.
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {GUID} = s 'Name Class'
//       {
//         LocalServer32 = s '%MODULE%'
//         val AppID = s '%APPID%'
//       }
//     }
//   }
//
// Tokens are separated by white space; a name may be quoted with ' (a quote inside written
// ''). The root is HKCR or HKEY_CLASSES_ROOT. A key may be preceded by NoRemove (removal keeps
// it with its values, and processes only the keys listed below it) and ForceRemove (registration
// deletes an existing key with everything below it first), may set its default value with "= s
// 'text'", and may open a block of keys and "val name = s 'text'" named values. Keywords are
// matched without regard to case, and only unquoted. %NAME% in any token is replaced by the named
// replacement ("%%" is one '%'), after the token is read, so a replacement may hold quotes
// or spaces.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlix {

struct ScriptKey {
  std::string name;
  bool noRemove = false;
  bool forceRemove = false;
  std::optional<std::string> defaultValue;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<ScriptKey> subkeys;
};

// Replacement name (without the '%') to its text.
using ScriptReplacements = std::map<std::string, std::string>;

// The keys the script lists directly under HKEY_CLASSES_ROOT. nullopt with *error
// ("line 4: ...") for a malformed script, a value type other than s, an unknown root or
// replacement, or a key name that is empty or holds '\'.
std::optional<std::vector<ScriptKey>> ParseRegistryScript(std::string_view script,
                                                          const ScriptReplacements& replacements,
                                                          std::string* error);

}  // namespace vorlix
