// The runtime directory's checks and the server socket's take-over rules and mode, on real
// sockets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/RuntimeDirectory.h"
#include "runtime/ServerSocket.h"
#include "tests/runtime/RuntimeTestSupport.h"

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

TEST(RuntimeDirectoryTest, MadePrivateAndRefusedWhenOpenToOthers) {
  test::TempDir temp;
  const std::string dir = temp.Path("rt");
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(dir, &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(PrepareRuntimeDirectory(dir, &error));

  chmod(dir.c_str(), 0755);
  EXPECT_FALSE(PrepareRuntimeDirectory(dir, &error));
  const std::string link = temp.Path("link");
  chmod(dir.c_str(), 0700);
  ASSERT_EQ(symlink(dir.c_str(), link.c_str()), 0);
  EXPECT_FALSE(PrepareRuntimeDirectory(link, &error));
}

TEST(ServerSocketTest, StaleSocketIsReplacedLiveOneIsNeverStolen) {
  test::TempDir temp;
  const std::string path = temp.Path("server");
  std::string error;
  const int first = ListenOnSocket(path, &error);
  ASSERT_GE(first, 0) << error;
  EXPECT_EQ(ListenOnSocket(path, &error), -1);
  EXPECT_NE(error.find("already listens"), std::string::npos) << error;

  close(first);  // the server died; its socket file stays behind
  const int second = ListenOnSocket(path, &error);
  EXPECT_GE(second, 0) << error;
  close(second);
}

TEST(ServerSocketTest, SocketFileIsOpenToItsUserOnlyWhateverTheUmask) {
  test::TempDir temp;
  const std::string path = temp.Path("server");
  std::string error;
  const mode_t mine = umask(0);
  const int fd = ListenOnSocket(path, &error);
  EXPECT_EQ(umask(mine), 0u);  // given back as it was
  ASSERT_GE(fd, 0) << error;
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  close(fd);
}

TEST(ServerSocketTest, OnlyOneServerAtATimeHoldsTheServerLock) {
  test::TempDir temp;
  std::string error;
  const int first = TakeServerLock(temp.Path(""), &error);
  ASSERT_GE(first, 0) << error;
  EXPECT_EQ(TakeServerLock(temp.Path(""), &error), -1);
  EXPECT_NE(error.find("another server"), std::string::npos) << error;
  close(first);
  const int again = TakeServerLock(temp.Path(""), &error);
  EXPECT_GE(again, 0) << error;
  close(again);
}

}  // namespace
}  // namespace vorlix
