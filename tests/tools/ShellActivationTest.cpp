// The vorlix program when its object cannot be created, or its server goes away: the cause in
// words.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "activation/RegistryFile.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/TestFiles.h"

namespace vorlix {
namespace {

TEST(ShellActivationTest, AFailedActivationIsExplained) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  const test::Finished run = test::RunCapturing(VORLIX_SHELL_PATH, {"--progid", "Vorlix.Nothing"});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err,
            "vorlix: cannot create Vorlix.Nothing: REGDB_E_CLASSNOTREG: Vorlix.Nothing: "
            "unknown ProgID: " +
                RegistryPath() + " has no key HKEY_CLASSES_ROOT\\Vorlix.Nothing\\CLSID\n");
}

TEST(ShellActivationTest, AServerThatGoesAwayDuringACallIsSaidToHaveGone) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  test::TempDir dir;
  auto server = std::make_unique<test::ServerProcess>(folder);
  ASSERT_TRUE(server->WaitForSocket());
  // The query has no end: only the server's death (SIGKILL, as the process object ends) ends it.
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    server.reset();
  });
  const std::string file = "\"" + dir.Path("t.vdb") + "\"";
  const test::Finished run = test::RunCapturing(
      VORLIX_SHELL_PATH,
      {"-c", "CreateDatabase " + file + "; Open " + file +
                 " false false; SQL \"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                 "FROM c) SELECT count(*) FROM c\""});
  killer.join();
  EXPECT_NE(run.code, 0);
  EXPECT_NE(run.err.find("SQL: E_FAIL: the server went away: "), std::string::npos)
      << run.out << run.err;
}

}  // namespace
}  // namespace vorlix
