// How long the real server process lives: it ends by itself once nothing holds it, whatever
// its clients did, and it serves no user but its own and root.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <thread>
#include <vector>

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
    const int fd = test::ConnectTo(path);
    if (fd < 0) _exit(3);
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

// The processor time the process has used, in clock ticks.
long CpuTicks(pid_t pid) {
  const std::string stat = test::ReadText("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));  // from the state, field 3
  std::string skipped;
  for (int field = 3; field < 14; ++field)
    fields >> skipped;
  long user = 0, system = 0;
  fields >> user >> system;
  return user + system;
}

TEST(ServerLifetimeTest, ServerOutOfDescriptorsWaitsForOneInsteadOfSpinning) {
  test::ServerFolder folder;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = 32;  // the server started next inherits it
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  test::ServerProcess server(folder);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(server.WaitForSocket());
  std::vector<int> clients;
  for (int i = 0; i < 40; ++i)
    clients.push_back(test::ConnectTo(folder.SocketPath()));
  const pid_t pid = test::PeerPid(clients[0]);
  ASSERT_GT(pid, 0);
  const long before = CpuTicks(pid);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  // Polling the queued clients takes whatever processor time there is: most of two seconds
  // (200 ticks) on an idle machine. Waiting takes next to none.
  EXPECT_LT(CpuTicks(pid) - before, 20);
  for (int fd : clients)
    close(fd);
  EXPECT_TRUE(AnswersUser(folder.SocketPath(), geteuid()));
  EXPECT_EQ(server.Terminate(), 0);
}

}  // namespace
}  // namespace vorlix
