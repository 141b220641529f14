// The server's registration: the registry scripts it carries (101 the AppID, 102 and 103 the
// classes of the interface table in order) and the type library's keys, written from the
// interface table, and the register and unregister actions that apply them.
#pragma once

#include <string>

#include "automation/HResult.h"
#include "runtime/RegistryScript.h"

namespace vorlix {

inline constexpr int kAppIdScript = 101;
inline constexpr int kFirstClassScript = 102;

// The script with that number; "" for a number the server does not carry.
std::string RegistrationScript(int number);
// TypeLib\{LIBID}\1.0 (its help string, the module for the library's locale, FLAGS) and
// Interface\{IID} (the interface's name, its TypeLib and Version) for both interfaces.
std::string TypeLibraryScript();
// %MODULE% is the server executable's path, %APPID% the AppID.
ScriptReplacements RegistrationReplacements(const std::string& modulePath);

// In the registry file at registryPath: the AppID script, then the class scripts, then the
// type library's keys, each stopping the rest when it fails (E_FAIL and *error).
HRESULT RegisterServer(const std::string& registryPath, const std::string& modulePath,
                       std::string* error);
// The class scripts and the type library's keys in removal mode, then the AppID script.
HRESULT UnregisterServer(const std::string& registryPath, const std::string& modulePath,
                         std::string* error);

}  // namespace vorlix
