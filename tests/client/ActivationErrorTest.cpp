// Why activation and calls fail, in the words LastClientError gives, against real registry
// files, real programs and folders, and the real server killed in the middle of a call.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "activation/RegistryFile.h"
#include "activation/RuntimeDirectory.h"
#include "client/CreateObject.h"
#include "client/ServerStart.h"
#include "client/TypedProxies.h"
#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kClsid = "{B1106722-DEA1-4B39-887C-E8E29D8A84C6}";
const std::string kServerKey = std::string("CLSID\\") + kClsid + "\\LocalServer32";

class ActivationErrorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.Register()); }
  // CreateObject's HRESULT, with the client error it left in *why.
  static HRESULT Create(std::string* why) {
    std::unique_ptr<DispatchProxy> object;
    const HRESULT hr = CreateObject("Vorlix.DBConnection", &object);
    *why = LastClientError();
    return hr;
  }
  void RegisterServerAs(const std::string& program) {
    std::string error;
    ASSERT_TRUE(UpdateRegistry(
        RegistryPath(), [&](Registry& r) { return r.SetValue(kServerKey, "", program), true; },
        &error))
        << error;
  }
  static void Has(const std::string& text, const std::string& part) {
    EXPECT_NE(text.find(part), std::string::npos) << "\"" << part << "\" not in: " << text;
  }
  test::ServerFolder folder_;
  test::TempDir temp_;
};

TEST_F(ActivationErrorTest, RegistryFailuresNameTheFileAndTheMissingKey) {
  // An unknown ProgID: the shell's test (tests/tools) reads its words through this library.
  const std::string registry = RegistryPath();
  std::string error;
  ASSERT_TRUE(UpdateRegistry(
      registry, [](Registry& r) { return r.DeleteTree(kServerKey), true; }, &error));
  std::string why;
  EXPECT_EQ(Create(&why), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(why, std::string("Vorlix.DBConnection: class ") + kClsid +
                     " has no registered server: " + registry +
                     " has no value HKEY_CLASSES_ROOT\\" + kServerKey);

  test::ScopedEnv elsewhere("VORLIX_REGISTRY", temp_.Path("none.reg").c_str());
  EXPECT_EQ(Create(&why), REGDB_E_CLASSNOTREG);
  Has(why, "no registry file " + temp_.Path("none.reg") + "; register the server");

  std::ofstream(temp_.Path("bad.reg")) << "[HKEY_CLASSES_ROOT\\A]\nnonsense\n";
  elsewhere.Set(temp_.Path("bad.reg").c_str());
  EXPECT_EQ(Create(&why), REGDB_E_CLASSNOTREG);
  Has(why, temp_.Path("bad.reg") + ": line 2: ");
}

// A program that cannot run is known at once, not after the wait for the socket; so is one that
// runs but ends without listening.
TEST_F(ActivationErrorTest, AServerThatCannotRunOrEndsAtOnceIsReportedAtOnce) {
  const std::string script = temp_.Path("ends.sh");
  std::ofstream(script) << "#!/bin/sh\nexit 3\n";
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  const std::string where = " (HKEY_CLASSES_ROOT\\" + kServerKey + " in " + RegistryPath() + "): ";
  // Any failed exec takes the one path: a missing program stands for a forbidden one too.
  const std::pair<std::string, std::string> cases[] = {
      {temp_.Path("moved"),
       "cannot start the server " + temp_.Path("moved") + where + "No such file or directory"},
      {script, "the server " + script + " (pid "},
  };
  for (const auto& [program, expected] : cases) {
    RegisterServerAs(program);
    std::string why;
    const auto start = Clock::now();
    EXPECT_EQ(Create(&why), E_FAIL);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << why;
    EXPECT_EQ(why.rfind(expected, 0), 0u) << why;
  }
}

TEST_F(ActivationErrorTest, ARuntimeDirectoryOfTheWrongModeOrOwnerIsNamed) {
  const std::string dir = temp_.Path("shared");
  ASSERT_EQ(mkdir(dir.c_str(), 0750), 0);
  ASSERT_EQ(chmod(dir.c_str(), 0750), 0);  // whatever the umask
  test::ScopedEnv runtime("VORLIX_RUNTIME_DIR", dir.c_str());
  std::string why;
  EXPECT_EQ(Create(&why), E_FAIL);
  EXPECT_EQ(why, "runtime directory " + dir + ": mode 0750 lets other users in; it must be 0700");

  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
  ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
  EXPECT_EQ(Create(&why), E_FAIL);
  EXPECT_EQ(why, "runtime directory " + dir + ": owned by uid 65534, not by this user (uid 0)");
}

// A server killed during a call is reported in the shell's test (tests/tools); a call made on
// the object after the kill is said to have gone unanswered too, not to be unsendable.
TEST_F(ActivationErrorTest, ACallAfterTheServerWasKilledSaysItWentAway) {
  std::unique_ptr<DBConnection> db;
  ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
  const pid_t server = test::PeerPid(sd_bus_get_fd(db->Bus()));
  ASSERT_GT(server, 0);
  ASSERT_EQ(kill(server, SIGKILL), 0);
  for (int i = 0; i < 500 && StillRuns(server); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  VARIANT_BOOL open = VARIANT_FALSE;
  EXPECT_EQ(db->IsOpen(&open), E_FAIL);
  EXPECT_EQ(LastClientError().rfind("the server went away: IsOpen got no answer", 0), 0u)
      << LastClientError();
}

// A server ending after its idle time-out can take a connection into its socket's queue and
// close without answering it: activation connects again and starts a new server.
TEST_F(ActivationErrorTest, AServerThatEndsAsItIsReachedIsReplacedByANewOne) {
  std::string error;
  const std::string directory = RuntimeDirectoryPath();
  ASSERT_TRUE(PrepareRuntimeDirectory(directory, &error)) << error;
  const std::string socketPath = ServerSocketPath(directory);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  // As an ending server does: a client waits in the queue, its call sent, and the socket goes
  // without answering it.
  std::thread ending([&] {
    pollfd waiting = {listener, POLLIN, 0};
    poll(&waiting, 1, 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    unlink(socketPath.c_str());
    close(listener);
  });
  std::string why;
  EXPECT_EQ(Create(&why), S_OK) << why;
  ending.join();
}

}  // namespace
}  // namespace vorlix
