#include "server/Registration.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "activation/Registrar.h"
#include "activation/RegistryScript.h"
#include "protocol/InterfaceTable.h"
#include "protocol/WireNames.h"

namespace vorlix {

namespace {

// The scripts are written with replacements for what the interface table holds, so that the
// table stays the only place that names a class or an identity.
constexpr const char* kAppIdText = R"(HKCR
{
  NoRemove AppID
  {
    '%APPID%' = s 'Vorlix'
    'Vorlix.EXE'
    {
      val AppID = s '%APPID%'
    }
  }
}
)";

constexpr const char* kClassText = R"(HKCR
{
  %PROGID%.1 = s '%DESCRIPTION%'
  {
    CLSID = s '%CLSID%'
  }
  %PROGID% = s '%DESCRIPTION%'
  {
    CLSID = s '%CLSID%'
    CurVer = s '%PROGID%.1'
  }
  NoRemove CLSID
  {
    ForceRemove %CLSID% = s '%DESCRIPTION%'
    {
      ProgID = s '%PROGID%.1'
      VersionIndependentProgID = s '%PROGID%'
      ForceRemove Programmable
      LocalServer32 = s '%MODULE%'
      val AppID = s '%APPID%'
      TypeLib = s '%LIBID%'
    }
  }
}
)";

constexpr const char* kTypeLibraryText = R"(HKCR
{
  NoRemove TypeLib
  {
    %LIBID%
    {
      ForceRemove %VERSION% = s '%DESCRIPTION%'
      {
        %LOCALE% = s '%MODULE%'
        FLAGS = s '0'
      }
    }
  }
}
)";

constexpr const char* kInterfaceText = R"(HKCR
{
  NoRemove Interface
  {
    ForceRemove %IID% = s '%NAME%'
    {
      TypeLib = s '%LIBID%'
      {
        val Version = s '%VERSION%'
      }
    }
  }
}
)";

std::string Version() {
  return std::to_string(kVorlixLib.major) + '.' + std::to_string(kVorlixLib.minor);
}

// %MODULE% is the server executable's path, %APPID% the AppID, %LIBID% the type library's
// identity; every script has these.
ScriptReplacements CommonReplacements(const std::string& modulePath) {
  return {
      {"MODULE", modulePath}, {"APPID", kAppId.ToString()}, {"LIBID", kVorlixLib.libid.ToString()}};
}

// Every script with its replacements, in registration order: the AppID, the classes, the type
// library and its interfaces.
std::vector<std::pair<std::string, ScriptReplacements>> Scripts(const std::string& modulePath) {
  const ScriptReplacements common = CommonReplacements(modulePath);
  auto with = [&](ScriptReplacements more) {
    more.insert(common.begin(), common.end());
    return more;
  };
  std::vector<std::pair<std::string, ScriptReplacements>> scripts;
  scripts.emplace_back(kAppIdText, common);
  for (const CoClass& coclass : kVorlixLib.classes) {
    scripts.emplace_back(kClassText, with({{"PROGID", kNamePrefix + std::string(coclass.name)},
                                           {"DESCRIPTION", std::string(coclass.help)},
                                           {"CLSID", coclass.clsid.ToString()}}));
  }
  char locale[16];
  std::snprintf(locale, sizeof locale, "%x", kVorlixLib.lcid);
  scripts.emplace_back(kTypeLibraryText, with({{"VERSION", Version()},
                                               {"DESCRIPTION", std::string(kVorlixLib.help)},
                                               {"LOCALE", locale}}));
  for (const CoClass& coclass : kVorlixLib.classes) {
    ForEachInterface(coclass, [&](const Interface& interface) {
      scripts.emplace_back(kInterfaceText, with({{"IID", interface.iid.ToString()},
                                                 {"NAME", std::string(interface.name)},
                                                 {"VERSION", Version()}}));
    });
  }
  return scripts;
}

}  // namespace

std::string TypeLibraryKey() {
  return "TypeLib\\" + kVorlixLib.libid.ToString() + '\\' + Version();
}

HRESULT RegisterServer(const std::string& registryPath, const std::string& modulePath,
                       std::string* error) {
  for (const auto& [script, replacements] : Scripts(modulePath)) {
    if (!RunRegistryScript(registryPath, script, replacements, RegistrarMode::kRegister, error)) {
      return E_FAIL;
    }
  }
  return S_OK;
}

HRESULT UnregisterServer(const std::string& registryPath, const std::string& modulePath,
                         std::string* error) {
  // The AppID goes last: a server whose classes could not be removed stays findable.
  auto scripts = Scripts(modulePath);
  std::rotate(scripts.begin(), scripts.begin() + 1, scripts.end());
  for (const auto& [script, replacements] : scripts) {
    if (!RunRegistryScript(registryPath, script, replacements, RegistrarMode::kUnregister, error)) {
      return E_FAIL;
    }
  }
  return S_OK;
}

}  // namespace vorlix
