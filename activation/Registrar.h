// The registrar: applies registration scripts (RegistryScript.h) to the registry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "activation/Registry.h"
#include "activation/RegistryScript.h"

namespace vorlix {

enum class RegistrarMode { kRegister, kUnregister };

// Registration creates every key and sets every value the script lists (ForceRemove keys
// emptied first); removal deletes every listed key that is not NoRemove with everything below
// it. Either way applying the same script twice changes nothing the second time.
void ApplyRegistryScript(const std::vector<ScriptKey>& keys, RegistrarMode mode,
                         Registry* registry);

// Parses script and applies it to the registry file at path under its lock. False with *error
// when the script is malformed (the file is then not touched) or the file cannot be updated.
bool RunRegistryScript(const std::string& path, std::string_view script,
                       const ScriptReplacements& replacements, RegistrarMode mode,
                       std::string* error);

}  // namespace vorlix
