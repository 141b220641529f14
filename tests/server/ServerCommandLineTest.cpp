// The real vorlix-server asked for its usage, its version or a registration, or given an
// argument it does not know: it answers on the right stream with the right exit code, and only
// -Embedding or nothing makes it serve.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

TEST(ServerCommandLineTest, HelpAndVersionAnswerOnStandardOutputAndAnUnknownArgumentNeverServes) {
  test::ServerFolder folder;
  const test::Finished help = test::RunCapturing(VORLIX_SERVER_PATH, {"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("/RegServer"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");
  const test::Finished version = test::RunCapturing(VORLIX_SERVER_PATH, {"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "vorlix-server " VORLIX_VERSION "\n");
  EXPECT_EQ(version.err, "");
  // Beside -Embedding, so that a server that served would end with 0 after its idle time-out.
  const test::Finished unknown =
      test::RunCapturing(VORLIX_SERVER_PATH, {"-Embedding", "/RegServerX"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "vorlix-server: unknown argument \"/RegServerX\"\n\n" + help.out);
  EXPECT_NE(access(folder.SocketPath().c_str(), F_OK), 0);
}

TEST(ServerCommandLineTest, RegistrationSaysWhichFileItChangedOrWhyItFailed) {
  test::ServerFolder folder;
  const std::string server = std::filesystem::canonical(VORLIX_SERVER_PATH).string();
  const std::string registry = getenv("VORLIX_REGISTRY");
  const test::Finished registered = test::RunCapturing(VORLIX_SERVER_PATH, {"/RegServer"});
  EXPECT_EQ(registered.code, 0) << registered.err;
  EXPECT_EQ(registered.out, "Registered " + server + " in " + registry + "\n");
  EXPECT_NE(test::ReadText(registry).find("@=\"" + server + "\""), std::string::npos);
  const test::Finished removed = test::RunCapturing(VORLIX_SERVER_PATH, {"-unregserver"});
  EXPECT_EQ(removed.code, 0) << removed.err;
  EXPECT_EQ(removed.out, "Removed the registration of " + server + " from " + registry + "\n");
  EXPECT_EQ(test::ReadText(registry).find(server), std::string::npos);

  // A registry file that cannot be written: the failure, and no word of success.
  test::TempDir temp;
  std::ofstream(temp.Path("file")) << "not a folder";
  test::ScopedEnv unwritable("VORLIX_REGISTRY", temp.Path("file/registry.reg").c_str());
  const test::Finished failed = test::RunCapturing(VORLIX_SERVER_PATH, {"/RegServer"});
  EXPECT_NE(failed.code, 0);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err.rfind("vorlix-server: ", 0), 0u) << failed.err;
}

}  // namespace
}  // namespace vorlix
