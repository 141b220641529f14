#include <gtest/gtest.h>

#include "activation/RegistryFile.h"
#include "server/Registration.h"
#include "tests/support/Environment.h"

namespace vorlix {
namespace {

constexpr const char* kModule = "/opt/my 'server'/vorlix-server";

// Every key registration writes, in the file's order, as the tables of the interface and the
// fixed identities give them.
constexpr const char* kRegistered =
    "[HKEY_CLASSES_ROOT\\AppID]\n"
    "[HKEY_CLASSES_ROOT\\AppID\\Vorlix.EXE]\n"
    "\"AppID\"=\"{0C990919-73E0-4399-8534-B355600B9AD2}\"\n"
    "[HKEY_CLASSES_ROOT\\AppID\\{0C990919-73E0-4399-8534-B355600B9AD2}]\n"
    "@=\"Vorlix\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID]\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}]\n"
    "@=\"DaoStatus Class\"\n"
    "\"AppID\"=\"{0C990919-73E0-4399-8534-B355600B9AD2}\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\\LocalServer32]\n"
    "@=\"/opt/my 'server'/vorlix-server\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\\ProgID]\n"
    "@=\"Vorlix.DaoStatus.1\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\\Programmable]\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\\TypeLib]\n"
    "@=\"{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\\"
    "VersionIndependentProgID]\n"
    "@=\"Vorlix.DaoStatus\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}]\n"
    "@=\"DBConnection Class\"\n"
    "\"AppID\"=\"{0C990919-73E0-4399-8534-B355600B9AD2}\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\LocalServer32]\n"
    "@=\"/opt/my 'server'/vorlix-server\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\ProgID]\n"
    "@=\"Vorlix.DBConnection.1\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\Programmable]\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\TypeLib]\n"
    "@=\"{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\"\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\"
    "VersionIndependentProgID]\n"
    "@=\"Vorlix.DBConnection\"\n"
    "[HKEY_CLASSES_ROOT\\Interface]\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{21E29A29-971A-41E6-A6D5-8859DB03FC05}]\n"
    "@=\"IDBConnection\"\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{21E29A29-971A-41E6-A6D5-8859DB03FC05}\\TypeLib]\n"
    "@=\"{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\"\n"
    "\"Version\"=\"1.0\"\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{5E3C1A77-2B94-4D0F-9A61-3C7E15D28B40}]\n"
    "@=\"IDBConnection2\"\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{5E3C1A77-2B94-4D0F-9A61-3C7E15D28B40}\\TypeLib]\n"
    "@=\"{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\"\n"
    "\"Version\"=\"1.0\"\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{62F71987-9EDD-49CB-ACFE-8B648D1EFDFD}]\n"
    "@=\"IDaoStatus\"\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{62F71987-9EDD-49CB-ACFE-8B648D1EFDFD}\\TypeLib]\n"
    "@=\"{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\"\n"
    "\"Version\"=\"1.0\"\n"
    "[HKEY_CLASSES_ROOT\\TypeLib]\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}]\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\\1.0]\n"
    "@=\"Vorlix 1.0 Type Library\"\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\\1.0\\409]\n"
    "@=\"/opt/my 'server'/vorlix-server\"\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\\1.0\\FLAGS]\n"
    "@=\"0\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DaoStatus]\n"
    "@=\"DaoStatus Class\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DaoStatus.1]\n"
    "@=\"DaoStatus Class\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DaoStatus.1\\CLSID]\n"
    "@=\"{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DaoStatus\\CLSID]\n"
    "@=\"{85FE6B84-7E2F-4F6F-8CEB-8592A9149110}\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DaoStatus\\CurVer]\n"
    "@=\"Vorlix.DaoStatus.1\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DBConnection]\n"
    "@=\"DBConnection Class\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DBConnection.1]\n"
    "@=\"DBConnection Class\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DBConnection.1\\CLSID]\n"
    "@=\"{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DBConnection\\CLSID]\n"
    "@=\"{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\"\n"
    "[HKEY_CLASSES_ROOT\\Vorlix.DBConnection\\CurVer]\n"
    "@=\"Vorlix.DBConnection.1\"\n";

class RegistrationTest : public ::testing::Test {
 protected:
  HRESULT Register() { return RegisterServer(path_, kModule, &error_); }
  HRESULT Unregister() { return UnregisterServer(path_, kModule, &error_); }
  std::string Text() const { return test::ReadText(path_); }
  void Seed(const std::string& text) {
    ASSERT_TRUE(UpdateRegistry(
        path_,
        [&](Registry& r) {
          r = *Registry::FromText(text, &error_);
          return true;
        },
        &error_));
  }

  test::TempDir dir_;
  std::string path_ = dir_.Path("registry.reg");
  std::string error_;
};

// Registering twice changing nothing is the registrar's (tests/activation/RegistrarTest.cpp).
TEST_F(RegistrationTest, RegisteringDropsStaleClassKeysAndWritesExactlyTheKeys) {
  Seed(
      "[HKEY_CLASSES_ROOT\\CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\InprocServer32]\n"
      "@=\"/old/library.so\"\n"
      "[HKEY_CLASSES_ROOT\\TypeLib\\{8DE725BB-D4D3-4FF9-875E-2FDE6F72ACEE}\\1.0\\0]\n"
      "@=\"/old/server\"\n");
  ASSERT_EQ(Register(), S_OK) << error_;
  EXPECT_EQ(Text(), kRegistered);
}

TEST_F(RegistrationTest, UnregisteringRemovesEveryEntryButKeepsTheParentsAndOthers) {
  Seed("[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000001}]\n@=\"Other\"\n");
  ASSERT_EQ(Register(), S_OK) << error_;
  ASSERT_EQ(Unregister(), S_OK) << error_;
  EXPECT_EQ(Text(),
            "[HKEY_CLASSES_ROOT\\AppID]\n"
            "[HKEY_CLASSES_ROOT\\CLSID]\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000001}]\n"
            "@=\"Other\"\n"
            "[HKEY_CLASSES_ROOT\\Interface]\n"
            "[HKEY_CLASSES_ROOT\\TypeLib]\n");
}

}  // namespace
}  // namespace vorlix
