// The per-user registry file: where it lives, reading it, and changing it atomically. Writers
// hold an exclusive lock on "<file>.lock" from reading to renaming, so two registrations at once
// never lose each other's keys; readers need no lock because the file is only ever replaced
// whole by rename.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "activation/Registry.h"

namespace vorlix {

// $VORLIX_REGISTRY, else $XDG_CONFIG_HOME/vorlix/registry.reg, else
// $HOME/.config/vorlix/registry.reg, with the user's home folder from the password database when
// HOME is unset (empty variables count as unset).
std::string RegistryPath();

// The registry the file holds; an empty one when the file does not exist. nullopt with *error
// when it cannot be read or is not in the text form.
std::optional<Registry> ReadRegistry(const std::string& path, std::string* error);

// Under the lock: reads the file, lets change alter the registry and, when change returns true
// and the registry differs, writes it to a temporary file and renames that over the file (its
// folder is made when missing). False with *error when the file cannot be read or written, or
// when change returns false (having set *error); the file is then left as it was.
bool UpdateRegistry(const std::string& path, const std::function<bool(Registry&)>& change,
                    std::string* error);

}  // namespace vorlix
