// The runtime directory's place and its checks, on real folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "activation/RuntimeDirectory.h"
#include "tests/support/Environment.h"

namespace vorlix {
namespace {

TEST(RuntimeDirectoryTest, PathFollowsTheEnvironment) {
  test::ScopedEnv own("VORLIX_RUNTIME_DIR", "/x/own");
  test::ScopedEnv xdg("XDG_RUNTIME_DIR", "/run/user/7");
  EXPECT_EQ(RuntimeDirectoryPath(), "/x/own");
  test::ScopedEnv unset("VORLIX_RUNTIME_DIR", "");
  EXPECT_EQ(RuntimeDirectoryPath(), "/run/user/7/vorlix");
  test::ScopedEnv noXdg("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ(RuntimeDirectoryPath(), "/tmp/vorlix-" + std::to_string(getuid()));
}

TEST(RuntimeDirectoryTest, MadePrivateAndRefusedThroughALink) {
  test::TempDir temp;
  const std::string dir = temp.Path("rt");
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(dir, &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(PrepareRuntimeDirectory(dir, &error));
  // One open to others is refused in the words of tests/client/ActivationErrorTest.cpp.
  const std::string link = temp.Path("link");
  ASSERT_EQ(symlink(dir.c_str(), link.c_str()), 0);
  EXPECT_FALSE(PrepareRuntimeDirectory(link, &error));
}

}  // namespace
}  // namespace vorlix
