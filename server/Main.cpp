// vorlix-server: registers or unregisters the server, or serves its objects on the per-user
// socket until it has been idle for the idle time-out.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "activation/RegistryFile.h"
#include "activation/RuntimeDirectory.h"
#include "server/Allocator.h"
#include "server/CommandLine.h"
#include "server/Registration.h"
#include "server/ServerSocket.h"
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

int Fail(const std::string& error) {
  fprintf(stderr, "vorlix-server: %s\n", error.c_str());
  return 1;
}

int Serve(char** argv) {
  TuneAllocator(argv);
  // Before any thread starts, so that no thread but the loop's signal source takes them.
  WireServer::BlockStopSignals();
  std::string error;
  const std::string directory = RuntimeDirectoryPath();
  if (!PrepareRuntimeDirectory(directory, &error)) return Fail(error);
  // Held until the socket is removed; a server started during the pause below then waits
  // for it instead of finding it held.
  const int serverLock = TakeServerLock(directory, &error);
  if (serverLock < 0) return Fail(error);
  const std::string socketPath = ServerSocketPath(directory);
  const int listenFd = ListenOnSocket(socketPath, &error);
  if (listenFd < 0) return Fail(error);
  CVorlixModule module;
  int r;
  {
    WireServer server(module);
    module.StartMonitor();
    r = server.Run(listenFd);
  }
  // Unlinked before it is closed, so no newer server's socket is ever removed.
  unlink(socketPath.c_str());
  close(listenFd);
  close(serverLock);
  module.Pause();
  return r < 0 ? Fail("event loop: " + std::to_string(-r)) : 0;
}

int Main(int argc, char** argv) {
  std::string error;
  HRESULT hr = S_OK;
  switch (ParseCommandLine(JoinArguments(argc, argv))) {
    case ServerAction::kServe:
      return Serve(argv);
    case ServerAction::kRegister:
      hr = RegisterServer(RegistryPath(), ModulePath(), &error);
      break;
    case ServerAction::kUnregister:
      hr = UnregisterServer(RegistryPath(), ModulePath(), &error);
      break;
  }
  if (FAILED(hr)) fprintf(stderr, "vorlix-server: %s\n", error.c_str());
  return hr;
}

}  // namespace
}  // namespace vorlix

int main(int argc, char** argv) {
  return vorlix::Main(argc, argv);
}
