// The server's log from real runs: in its file when activation started it (standard error on
// /dev/null), rotated when full, a line per call under VORLIX_LOG=debug; on standard error when
// someone reads that, and without call lines by default.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "activation/RuntimeDirectory.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

pid_t ServerPid(const DispatchProxy& object) {
  return test::PeerPid(sd_bus_get_fd(object.Bus()));
}

// Connects to the socket as another user and waits for the server to close the connection.
int32_t ConnectAsAnotherUser(const std::string& socketPath) {
  return test::InChildProcess([&] {
    const int fd = test::ConnectTo(socketPath);
    if (fd < 0) return -errno;
    char byte;
    const ssize_t n = read(fd, &byte, 1);  // 0: closed by the server
    close(fd);
    return static_cast<int32_t>(n);
  });
}

// The texts of the log's lines; every line must carry the time and the server's pid. Lines of
// the sanitizers ("==pid==WARNING: ...") are not the log's.
std::vector<std::string> LinesOf(const std::string& text, pid_t server) {
  const std::regex form(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z vorlix-server\[)" +
                        std::to_string(server) + R"(\]: .+)");
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("==")) continue;
    EXPECT_TRUE(std::regex_match(line, form)) << line;
    lines.push_back(line.substr(line.find("]: ") + 3));
  }
  return lines;
}

// Each expected text begins a line, in this order, other lines between them allowed.
void ExpectInOrder(const std::vector<std::string>& lines,
                   const std::vector<std::string>& expected) {
  size_t at = 0;
  for (const std::string& text : expected) {
    while (at < lines.size() && lines[at].rfind(text, 0) != 0)
      ++at;
    EXPECT_LT(at, lines.size()) << "no line \"" << text << "\" in order";
  }
}

TEST(ServerLogTest, AnActivatedServerLogsToItsRotatedFileAndEachCallUnderDebug) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  const std::string dir = folder.RuntimeDirectory();
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(dir, &error)) << error;
  // A full log of earlier servers: this one's first line moves it aside.
  const std::string log = ServerLogPath(dir);
  const std::string earlier(1 << 20, 'x');
  std::ofstream(log) << earlier;
  test::ScopedEnv debug("VORLIX_LOG", "debug");

  pid_t server = 0;
  {
    std::unique_ptr<DBConnection> db;
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
    server = ServerPid(*db);
    int16_t version = 0;
    EXPECT_EQ(db->GetVorlixVersion(&version), S_OK);
    InvokeResult result;
    EXPECT_EQ(db->Invoke("GetFieldName", {Variant::Str(u"x"), Variant()}, &result),
              DISP_E_TYPEMISMATCH);
    // Let another user reach the socket, which only the server may refuse then.
    const std::string parent = dir.substr(0, dir.rfind('/'));
    ASSERT_EQ(chmod(parent.c_str(), 0711), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0711), 0);
    ASSERT_EQ(chmod(folder.SocketPath().c_str(), 0666), 0);
    EXPECT_EQ(ConnectAsAnotherUser(folder.SocketPath()), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
  }
  ASSERT_TRUE(folder.ServerEnded());
  // "stopped" follows the pause after the socket is gone.
  for (int i = 0; i < 250 && test::ReadText(log).find("stopped") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

  EXPECT_EQ(test::ReadText(log + ".1"), earlier);
  const std::string me = std::to_string(getpid());
  ExpectInOrder(LinesOf(test::ReadText(log), server),
                {"started: vorlix-server ", "client pid " + me + " connected (1 client)",
                 "call /Vorlix/DBConnection/1 GetVorlixVersion: S_OK in ",
                 "call /Vorlix/DBConnection/1 Invoke GetFieldName: DISP_E_TYPEMISMATCH in ",
                 "refused a connection from uid 65534 (pid ",
                 "client pid " + me + " left, releasing 0 objects it held (0 clients)",
                 "idle, with no object and no lock left: stopping", "stopped"});
}

// A server that activation started and that cannot listen says why in its log, and the client
// points there.
TEST(ServerLogTest, AServerThatCannotListenLeavesTheReasonInTheLogTheClientNames) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(folder.RuntimeDirectory(), &error)) << error;
  std::ofstream(folder.SocketPath()) << "not a socket";
  std::unique_ptr<DispatchProxy> db;
  EXPECT_EQ(CreateObject("Vorlix.DBConnection", &db), E_FAIL);
  const std::string log = ServerLogPath(folder.RuntimeDirectory());
  const std::string why = LastClientError();
  EXPECT_EQ(why.substr(why.find(") ended")),
            ") ended before it listened on " + folder.SocketPath() + "; see " + log);
  EXPECT_NE(
      test::ReadText(log).find("]: " + folder.SocketPath() + ": exists and is not a socket\n"),
      std::string::npos)
      << test::ReadText(log);
}

// Run by hand with standard error on a pipe, the server writes there and makes no file; a
// SIGTERM ends it, and its log says who sent it.
TEST(ServerLogTest, AServerWhoseStandardErrorIsReadLogsThereWithoutCallsByDefault) {
  test::ServerFolder folder;
  ASSERT_TRUE(folder.Register());
  test::ScopedEnv quiet("VORLIX_LOG", nullptr);
  test::Finished run;
  std::thread server([&] { run = test::RunCapturing(VORLIX_SERVER_PATH, {"-Embedding"}); });
  for (int i = 0; i < 500 && access(folder.SocketPath().c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  pid_t pid = 0;
  {
    std::unique_ptr<DBConnection> db;
    EXPECT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
    if (db) {
      int16_t version = 0;
      EXPECT_EQ(db->GetVorlixVersion(&version), S_OK);
      pid = ServerPid(*db);
    }
  }
  if (pid > 0) kill(pid, SIGTERM);
  server.join();
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(access(ServerLogPath(folder.RuntimeDirectory()).c_str(), F_OK), -1);
  const std::vector<std::string> lines = LinesOf(run.err, pid);
  // Whether it saw this client leave before the signal is the loop's choice: not asked here.
  ExpectInOrder(lines, {"started: ", "client pid " + std::to_string(getpid()) + " connected",
                        "SIGTERM from pid " + std::to_string(getpid()) + ": stopping", "stopped"});
  for (const std::string& line : lines)
    EXPECT_NE(line.rfind("call ", 0), 0u) << line;
}

}  // namespace
}  // namespace vorlix
