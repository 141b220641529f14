// The server's registration: the registry scripts of the AppID, of each class of the interface
// table and of the type library with its interfaces, and the register and unregister actions
// that apply them to the registry file.
#pragma once

#include <string>

#include "automation/HResult.h"
#include "runtime/RegistryScript.h"

namespace vorlix {

// %MODULE% is the server executable's path, %APPID% the AppID, %LIBID% the type library's
// identity; every script has these.
ScriptReplacements RegistrationReplacements(const std::string& modulePath);

// "TypeLib\{LIBID}\1.0": the key that tells the type library is registered.
std::string TypeLibraryKey();

// In the registry file at registryPath: the AppID's keys, then each class's (ProgIDs and
// CLSID), then the type library's (TypeLib\{LIBID}\1.0, Interface\{IID}); the first failure
// stops the rest with E_FAIL and *error.
HRESULT RegisterServer(const std::string& registryPath, const std::string& modulePath,
                       std::string* error);
// The same scripts in removal mode, the AppID's last.
HRESULT UnregisterServer(const std::string& registryPath, const std::string& modulePath,
                         std::string* error);

}  // namespace vorlix
