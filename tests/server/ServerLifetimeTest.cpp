// How long the real server process lives: it ends by itself once nothing holds it, whatever
// its clients did, and it serves no user but its own and root.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

TEST(ServerLifetimeTest, SecondServerGivesUpAndTheFirstEndsWithoutEverHavingAnObject) {
  test::ServerFolder folder;
  test::ServerProcess first(folder);
  ASSERT_TRUE(first.WaitForSocket());
  test::ServerProcess second(folder);
  EXPECT_EQ(second.WaitForEnd(), 1);
  EXPECT_TRUE(first.WaitForSocket());
  EXPECT_EQ(first.WaitForEnd(), 0);
  EXPECT_NE(access(folder.SocketPath().c_str(), F_OK), 0);
}

// Connects to path with effective user uid (the file system access stays root's, so only the
// server's own check can refuse) and reports whether the server answers the authentication.
bool AnswersUser(const std::string& path, uid_t uid) {
  const pid_t child = fork();
  if (child == 0) {
    if (seteuid(uid) != 0 || setfsuid(0) < 0) _exit(2);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) _exit(3);
    const std::string hello = std::string(1, '\0') + "AUTH EXTERNAL\r\n";
    if (write(fd, hello.data(), hello.size()) != static_cast<ssize_t>(hello.size())) _exit(4);
    timeval wait{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char answer[64];
    _exit(read(fd, answer, sizeof answer) > 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ServerLifetimeTest, ConnectionFromAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  test::ServerFolder folder;
  test::ServerProcess server(folder);
  ASSERT_TRUE(server.WaitForSocket());
  EXPECT_TRUE(AnswersUser(folder.SocketPath(), 0));
  EXPECT_FALSE(AnswersUser(folder.SocketPath(), 65534));
  EXPECT_EQ(server.Terminate(), 0);
}

}  // namespace
}  // namespace vorlix
