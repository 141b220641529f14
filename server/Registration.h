// The server's registration: the registry scripts of the AppID, of each class of the interface
// table and of the type library with its interfaces, and the register and unregister actions
// that apply them to the registry file.
#pragma once

#include <string>

#include "automation/HResult.h"

namespace vorlix {

// "TypeLib\{LIBID}\1.0": the key that tells the type library is registered. Its default value
// is the library's help string; its subkey named by the library's locale (409) holds the
// module's path.
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
