#include "activation/Registrar.h"

#include "activation/RegistryFile.h"

namespace vorlix {

namespace {

void Apply(const ScriptKey& key, const std::string& parent, RegistrarMode mode,
           Registry* registry) {
  const std::string path = parent.empty() ? key.name : parent + '\\' + key.name;
  if (mode == RegistrarMode::kUnregister && !key.noRemove) {
    registry->DeleteTree(path);
    return;
  }
  if (mode == RegistrarMode::kRegister) {
    if (key.forceRemove) registry->DeleteTree(path);
    registry->CreateKey(path);
    if (key.defaultValue) registry->SetValue(path, "", *key.defaultValue);
    for (const auto& [name, value] : key.values)
      registry->SetValue(path, name, value);
  }
  for (const ScriptKey& subkey : key.subkeys)
    Apply(subkey, path, mode, registry);
}

}  // namespace

void ApplyRegistryScript(const std::vector<ScriptKey>& keys, RegistrarMode mode,
                         Registry* registry) {
  for (const ScriptKey& key : keys)
    Apply(key, "", mode, registry);
}

bool RunRegistryScript(const std::string& path, std::string_view script,
                       const ScriptReplacements& replacements, RegistrarMode mode,
                       std::string* error) {
  const auto keys = ParseRegistryScript(script, replacements, error);
  if (!keys) return false;
  return UpdateRegistry(
      path,
      [&](Registry& registry) {
        ApplyRegistryScript(*keys, mode, &registry);
        return true;
      },
      error);
}

}  // namespace vorlix
