// vorlix-server: registers or unregisters the server, or serves its objects on the per-user
// socket until it has been idle for the idle time-out; --help, --version and --status only
// answer.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "activation/RegistryFile.h"
#include "activation/RuntimeDirectory.h"
#include "server/Allocator.h"
#include "server/CommandLine.h"
#include "server/Log.h"
#include "server/Registration.h"
#include "server/ServerSocket.h"
#include "server/StatusReport.h"
#include "server/VorlixModule.h"
#include "server/WireServer.h"

namespace vorlix {
namespace {

// The executable's own path: what LocalServer32 names, so that activation starts this file.
std::string ModulePath() {
  char path[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
  return size > 0 ? std::string(path, static_cast<size_t>(size)) : std::string();
}

// Serving failed: logged, so that a server that activation started, whose standard error
// leads nowhere, leaves the reason in its log file.
int Fail(const std::string& error) {
  Log(error);
  return 1;
}

int Serve(char** argv) {
  TuneAllocator(argv);
  // Before any thread starts, so that no thread but the loop's signal source takes them.
  WireServer::BlockStopSignals();
  std::string error;
  const std::string directory = RuntimeDirectoryPath();
  if (!PrepareRuntimeDirectory(directory, &error)) return Fail(error);
  if (!OpenLog(directory, &error)) Log("no log file: " + error);
  // Held until the socket is removed; a server started during the pause below then waits
  // for it instead of finding it held.
  const int serverLock = TakeServerLock(directory, &error);
  if (serverLock < 0) return Fail(error);
  // Under systemd's socket unit the socket is systemd's: bound before this process started,
  // and kept for the next start once this one ends, so it is neither made nor removed here.
  int listenFd = InheritedListenSocket(&error);
  if (!error.empty()) return Fail(error);
  const bool ownSocket = listenFd < 0;
  const std::string socketPath = ServerSocketPath(directory);
  if (ownSocket) listenFd = ListenOnSocket(socketPath, &error);
  if (listenFd < 0) return Fail(error);
  std::string version = VersionLine();
  version.pop_back();  // its newline
  Log("started: " + version + ", serving on " +
      (ownSocket ? socketPath : "the socket systemd passed"));
  CVorlixModule module;
  int r;
  {
    WireServer server(module);
    module.StartMonitor();
    r = server.Run(listenFd);
  }
  // Unlinked before it is closed, so no newer server's socket is ever removed.
  if (ownSocket) unlink(socketPath.c_str());
  close(listenFd);
  close(serverLock);
  module.Pause();
  if (r < 0) return Fail(std::string("event loop: ") + strerror(-r));
  Log("stopped");
  return 0;
}

// Registers or unregisters this program in the user's registry file and says which file it
// changed. The exit code is the HRESULT.
int ChangeRegistration(bool registering) {
  const std::string registry = RegistryPath();
  const std::string module = ModulePath();
  std::string error;
  const HRESULT hr = registering ? RegisterServer(registry, module, &error)
                                 : UnregisterServer(registry, module, &error);
  if (FAILED(hr)) {
    fprintf(stderr, "vorlix-server: %s\n", error.c_str());
  } else if (registering) {
    printf("Registered %s in %s\n", module.c_str(), registry.c_str());
  } else {
    printf("Removed the registration of %s from %s\n", module.c_str(), registry.c_str());
  }
  return hr;
}

// argv: the program's own, for a re-execution before serving.
int Main(char** argv, const std::vector<std::string>& arguments) {
  std::string unknown;
  switch (ParseArguments(arguments, &unknown)) {
    case ServerAction::kServe:
      return Serve(argv);
    case ServerAction::kRegister:
      return ChangeRegistration(true);
    case ServerAction::kUnregister:
      return ChangeRegistration(false);
    case ServerAction::kHelp:
      fputs(Usage(), stdout);
      return 0;
    case ServerAction::kVersion:
      fputs(VersionLine().c_str(), stdout);
      return 0;
    case ServerAction::kStatus:
      return ReportStatus(stdout, stderr);
    case ServerAction::kUsageError:
      fprintf(stderr, "vorlix-server: unknown argument \"%s\"\n\n%s", unknown.c_str(), Usage());
      return 2;
  }
  return 2;
}

}  // namespace
}  // namespace vorlix

int main(int argc, char** argv) {
  return vorlix::Main(argv, std::vector<std::string>(argv + 1, argv + argc));
}
