#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "activation/RegistryFile.h"
#include "tests/support/Environment.h"

namespace vorlix {
namespace {

using test::ReadText;
using test::TempDir;

TEST(RegistryFileTest, LocationFollowsTheEnvironmentInOrder) {
  test::ScopedEnv registry("VORLIX_REGISTRY", "/r/file.reg");
  test::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
  test::ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(RegistryPath(), "/r/file.reg");
  registry.Set("");
  EXPECT_EQ(RegistryPath(), "/cfg/vorlix/registry.reg");
  config.Set(nullptr);
  EXPECT_EQ(RegistryPath(), "/home/u/.config/vorlix/registry.reg");
  home.Set(nullptr);
  EXPECT_EQ(RegistryPath(),
            std::string(getpwuid(getuid())->pw_dir) + "/.config/vorlix/registry.reg");
}

TEST(RegistryFileTest, ARefusedChangeOrAnUnreadableFileLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = dir.Path("registry.reg");
  std::string error;
  ASSERT_TRUE(UpdateRegistry(
      path, [](Registry& r) { return r.CreateKey("Kept"), true; }, &error));
  const std::string before = ReadText(path);
  EXPECT_FALSE(UpdateRegistry(
      path,
      [&](Registry& r) {
        r.DeleteTree("Kept");
        error = "refused";
        return false;
      },
      &error));
  EXPECT_EQ(ReadText(path), before);

  // A file someone broke by hand is not replaced by what could be read of it.
  std::ofstream(path) << "[HKEY_CLASSES_ROOT\\Kept]\ngarbage\n";
  EXPECT_FALSE(UpdateRegistry(
      path, [](Registry& r) { return r.CreateKey("New"), true; }, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(ReadText(path), "[HKEY_CLASSES_ROOT\\Kept]\ngarbage\n");
}

// The file is made with its folders, and replaced whole under the lock: no update is lost, and
// no temporary file stays behind.
TEST(RegistryFileTest, UpdatesAtTheSameTimeLoseNoKey) {
  TempDir dir;
  const std::string path = dir.Path("sub/dir/registry.reg");
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 25; ++i) {
        std::string error;
        const std::string key = "K" + std::to_string(w) + "_" + std::to_string(i);
        EXPECT_TRUE(UpdateRegistry(
            path, [&](Registry& r) { return r.CreateKey(key), true; }, &error))
            << error;
      }
    });
  }
  for (auto& writer : writers)
    writer.join();
  std::string error;
  auto registry = ReadRegistry(path, &error);
  ASSERT_TRUE(registry) << error;
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 25; ++i) {
      EXPECT_TRUE(registry->HasKey("K" + std::to_string(w) + "_" + std::to_string(i)));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

}  // namespace
}  // namespace vorlix
