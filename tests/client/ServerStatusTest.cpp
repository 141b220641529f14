// vorlix-server --status against no server and against a real one that clients use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

TEST(ServerStatusTest, StatusTellsNoServerOrTheOneThatRunsWithItsClientsObjectsAndDatabases) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  const std::string uid = std::to_string(geteuid());
  const test::Finished none = test::RunCapturing(VORLIX_SERVER_PATH, {"--status"});
  EXPECT_EQ(none.code, 3);
  EXPECT_EQ(none.out,
            "no server runs for uid " + uid + ": none listens on " + folder.SocketPath() + "\n");
  EXPECT_NE(access(folder.SocketPath().c_str(), F_OK), 0);  // asking started none

  test::TempDir temp;
  const std::string file = temp.Path("status.vdb");
  {
    std::unique_ptr<DBConnection> db, closed;
    std::unique_ptr<DispatchProxy> status;
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &closed), S_OK);
    ASSERT_EQ(CreateObject("Vorlix.DaoStatus", &status), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(db->CreateDatabase(*Bstr::FromUtf8(file), &ok), S_OK);
    Bstr name;
    ASSERT_EQ(db->Open(*Bstr::FromUtf8(file), VARIANT_FALSE, VARIANT_FALSE, &name), S_OK);
    std::unique_ptr<ClassObject> factory;
    ASSERT_EQ(GetClassObject("Vorlix.DBConnection", &factory), S_OK);
    ASSERT_EQ(factory->LockServer(true), S_OK);
    const pid_t server = test::PeerPid(sd_bus_get_fd(db->Bus()));

    const test::Finished run = test::RunCapturing(VORLIX_SERVER_PATH, {"--status"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::regex first("a server runs for uid " + uid + ": pid " + std::to_string(server) +
                           R"(, up 0:00:0\d\n)");
    const size_t line = run.out.find('\n') + 1;
    EXPECT_TRUE(std::regex_match(run.out.substr(0, line), first)) << run.out;
    EXPECT_EQ(run.out.substr(line),
              "socket: " + folder.SocketPath() +
                  "\nclients: 4\nobjects: 3\nlocks: 1\nopen databases: 1\n  " + file + "\n");
    EXPECT_EQ(factory->LockServer(false), S_OK);
  }
  EXPECT_TRUE(folder.ServerEnded());
}

}  // namespace
}  // namespace vorlix
