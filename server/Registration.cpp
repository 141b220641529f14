#include "server/Registration.h"

#include <cstdio>
#include <span>

#include "runtime/Registrar.h"
#include "server/InterfaceTable.h"

namespace vorlix {

namespace {

constexpr std::string_view kProject = "Vorlix";

std::string ClassScript(const CoClass& coclass) {
  const std::string name(coclass.name);
  const std::string help(coclass.help);
  const std::string progId = std::string(kProject) + '.' + name;
  const std::string clsid = coclass.clsid.ToString();
  return "HKCR\n{\n"
         "  " +
         progId + ".1 = s '" + help +
         "'\n  {\n"
         "    CLSID = s '" +
         clsid +
         "'\n  }\n"
         "  " +
         progId + " = s '" + help +
         "'\n  {\n"
         "    CLSID = s '" +
         clsid +
         "'\n"
         "    CurVer = s '" +
         progId +
         ".1'\n  }\n"
         "  NoRemove CLSID\n  {\n"
         "    ForceRemove " +
         clsid + " = s '" + help +
         "'\n    {\n"
         "      ProgID = s '" +
         progId +
         ".1'\n"
         "      VersionIndependentProgID = s '" +
         progId +
         "'\n"
         "      ForceRemove Programmable\n"
         "      LocalServer32 = s '%MODULE%'\n"
         "      val AppID = s '%APPID%'\n"
         "      TypeLib = s '" +
         kVorlixLib.libid.ToString() +
         "'\n"
         "    }\n  }\n}\n";
}

bool RunAll(const std::string& registryPath, const std::string& modulePath,
            std::span<const std::string> scripts, RegistrarMode mode, std::string* error) {
  const ScriptReplacements replacements = RegistrationReplacements(modulePath);
  for (const std::string& script : scripts) {
    if (!RunRegistryScript(registryPath, script, replacements, mode, error)) return false;
  }
  return true;
}

}  // namespace

std::string RegistrationScript(int number) {
  if (number == kAppIdScript) {
    return "HKCR\n{\n  NoRemove AppID\n  {\n"
           "    '%APPID%' = s '" +
           std::string(kProject) +
           "'\n"
           "    '" +
           std::string(kProject) +
           ".EXE'\n    {\n"
           "      val AppID = s '%APPID%'\n    }\n  }\n}\n";
  }
  const int index = number - kFirstClassScript;
  if (index < 0 || index >= static_cast<int>(kVorlixLib.classes.size())) return "";
  return ClassScript(kVorlixLib.classes[index]);
}

std::string TypeLibraryScript() {
  const std::string libid = kVorlixLib.libid.ToString();
  const std::string version =
      std::to_string(kVorlixLib.major) + '.' + std::to_string(kVorlixLib.minor);
  char locale[16];
  std::snprintf(locale, sizeof locale, "%x", kVorlixLib.lcid);
  std::string script = "HKCR\n{\n  NoRemove TypeLib\n  {\n    " + libid +
                       "\n    {\n"
                       "      ForceRemove " +
                       version + " = s '" + std::string(kVorlixLib.help) +
                       "'\n      {\n"
                       "        " +
                       locale +
                       "\n        {\n"
                       "          win32 = s '%MODULE%'\n        }\n"
                       "        FLAGS = s '0'\n      }\n    }\n  }\n"
                       "  NoRemove Interface\n  {\n";
  for (const CoClass& coclass : kVorlixLib.classes) {
    script += "    ForceRemove " + coclass.interface->iid.ToString() + " = s '" +
              std::string(coclass.interface->name) +
              "'\n    {\n"
              "      TypeLib = s '" +
              libid +
              "'\n      {\n"
              "        val Version = s '" +
              version + "'\n      }\n    }\n";
  }
  return script + "  }\n}\n";
}

ScriptReplacements RegistrationReplacements(const std::string& modulePath) {
  return {{"MODULE", modulePath}, {"APPID", kAppId.ToString()}};
}

HRESULT RegisterServer(const std::string& registryPath, const std::string& modulePath,
                       std::string* error) {
  std::vector<std::string> scripts = {RegistrationScript(kAppIdScript)};
  for (size_t i = 0; i < kVorlixLib.classes.size(); ++i) {
    scripts.push_back(RegistrationScript(kFirstClassScript + static_cast<int>(i)));
  }
  scripts.push_back(TypeLibraryScript());
  return RunAll(registryPath, modulePath, scripts, RegistrarMode::kRegister, error) ? S_OK : E_FAIL;
}

HRESULT UnregisterServer(const std::string& registryPath, const std::string& modulePath,
                         std::string* error) {
  std::vector<std::string> scripts;
  for (size_t i = 0; i < kVorlixLib.classes.size(); ++i) {
    scripts.push_back(RegistrationScript(kFirstClassScript + static_cast<int>(i)));
  }
  scripts.push_back(TypeLibraryScript());
  scripts.push_back(RegistrationScript(kAppIdScript));
  return RunAll(registryPath, modulePath, scripts, RegistrarMode::kUnregister, error) ? S_OK
                                                                                      : E_FAIL;
}

}  // namespace vorlix
