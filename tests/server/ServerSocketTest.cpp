// The server socket's take-over rules and mode, and the server lock, on real sockets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "server/ServerSocket.h"
#include "tests/support/TestFiles.h"

namespace vorlix {
namespace {

// A stale socket, which a killed server leaves, is replaced: crash_test.py starts a server on
// one after each kill.
TEST(ServerSocketTest, LiveSocketIsNeverStolen) {
  test::TempDir temp;
  const std::string path = temp.Path("server");
  std::string error;
  const int first = ListenOnSocket(path, &error);
  ASSERT_GE(first, 0) << error;
  EXPECT_EQ(ListenOnSocket(path, &error), -1);
  EXPECT_NE(error.find("already listens"), std::string::npos) << error;
  close(first);
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
