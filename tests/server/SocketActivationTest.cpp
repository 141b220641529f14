// The server started as systemd's socket unit starts it: on a listening socket it inherits
// (LISTEN_FDS, LISTEN_PID), which it serves and leaves in place for the next start. Its client
// is outside_client.py, which holds the wire contract as a client of nothing in this repository
// sees it and then dies holding an object and a server lock: the server drops both with the
// connection and ends by itself.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

// A unix stream socket bound at path, listening when asked; -1 when that fails.
int BoundSocket(const std::string& path, bool listening) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      (listening && listen(fd, SOMAXCONN) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

class SocketActivationTest : public testing::Test {
 protected:
  // The runtime directory as the socket unit makes it (DirectoryMode=0700).
  void SetUp() override { ASSERT_EQ(mkdir(folder_.RuntimeDirectory().c_str(), 0700), 0); }

  test::ServerFolder folder_;
};

TEST_F(SocketActivationTest, ServesOnTheInheritedSocketAndLeavesItInPlace) {
  const int listenFd = BoundSocket(folder_.SocketPath(), true);
  ASSERT_GE(listenFd, 0);
  test::ServerProcess server(folder_, listenFd);
  // A server that made a socket of its own would find this one listening, and give up.
  EXPECT_EQ(test::RunToEnd("/usr/bin/python3", {OUTSIDE_CLIENT_SCRIPT, folder_.SocketPath()}), 0);
  EXPECT_EQ(server.WaitForEnd(), 0);
  // Still bound at its path and listening: the next client's connection waits on it for the
  // next start.
  const int client = test::ConnectTo(folder_.SocketPath());
  EXPECT_GE(client, 0);
  const int accepted = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  EXPECT_GE(accepted, 0);
  close(accepted);
  close(client);
  close(listenFd);
}

TEST_F(SocketActivationTest, InheritedSocketThatDoesNotListenIsRefused) {
  const int fd = BoundSocket(folder_.RuntimeDirectory() + "/other", false);
  ASSERT_GE(fd, 0);
  test::ServerProcess server(folder_, fd);
  EXPECT_EQ(server.WaitForEnd(), 1);
  // It fails instead of serving on a socket of its own.
  EXPECT_NE(access(folder_.SocketPath().c_str(), F_OK), 0);
  close(fd);
}

}  // namespace
}  // namespace vorlix
