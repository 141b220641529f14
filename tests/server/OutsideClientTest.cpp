// The wire contract as outside clients see it: the real server process driven by the system's
// python3 and its D-Bus module.
#include <gtest/gtest.h>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

// The client ends holding an object and a server lock: the server drops both with the
// connection and then ends by itself.
TEST(OutsideClientTest, PythonCallsThenDiesHoldingAnObjectAndALock) {
  test::ServerFolder folder;
  test::ServerProcess server(folder);
  ASSERT_TRUE(server.WaitForSocket());
  EXPECT_EQ(test::RunToEnd("/usr/bin/python3", {OUTSIDE_CLIENT_SCRIPT, folder.SocketPath()}), 0);
  EXPECT_EQ(server.WaitForEnd(), 0);
}

}  // namespace
}  // namespace vorlix
