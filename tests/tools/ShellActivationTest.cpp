// The vorlix program when its object cannot be created: the cause in words, exit status 2.
#include <gtest/gtest.h>

#include "activation/RegistryFile.h"
#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

TEST(ShellActivationTest, AFailedActivationIsExplained) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  const std::string registry = RegistryPath();
  test::Finished run = test::RunCapturing(VORLIX_SHELL_PATH, {"--progid", "Vorlix.Nothing"});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err,
            "vorlix: cannot create Vorlix.Nothing: REGDB_E_CLASSNOTREG: Vorlix.Nothing: "
            "unknown ProgID: " +
                registry + " has no key HKEY_CLASSES_ROOT\\Vorlix.Nothing\\CLSID\n");

  const std::string key = "CLSID\\{B1106722-DEA1-4B39-887C-E8E29D8A84C6}\\LocalServer32";
  std::string error;
  ASSERT_TRUE(UpdateRegistry(
      registry,
      [&](Registry& r) { return r.SetValue(key, "", "/nonexistent/vorlix-server"), true; },
      &error));
  run = test::RunCapturing(VORLIX_SHELL_PATH, {"-c", "GetVorlixVersion"});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err,
            "vorlix: cannot create Vorlix.DBConnection: E_FAIL: cannot start the server "
            "/nonexistent/vorlix-server (HKEY_CLASSES_ROOT\\" +
                key + " in " + registry + "): No such file or directory\n");
}

}  // namespace
}  // namespace vorlix
