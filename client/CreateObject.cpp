#include "client/CreateObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "activation/RegistryFile.h"
#include "activation/RuntimeDirectory.h"
#include "client/ClientError.h"
#include "client/ServerStart.h"
#include "client/WireOptions.h"
#include "protocol/WireNames.h"

namespace vorlix {
namespace {

// How often activation connects again when the server it reached went away unanswered.
constexpr int kAttempts = 3;

struct Server {
  std::string clsid;
  std::string path;
  std::string registry;  // the file that named it, and the key there
  std::string key;
};

// The class's server from the registry file; nullopt with the client error set, which tells a
// missing registry, an unknown ProgID and a class without a server apart.
std::optional<Server> FindServer(std::string_view progid) {
  Server server;
  server.registry = RegistryPath();
  std::string error;
  const std::optional<Registry> registry = ReadRegistry(server.registry, &error);
  const std::string name(progid);
  auto fail = [&](const std::string& text) {
    ClientFailure(REGDB_E_CLASSNOTREG, name + ": " + text);
    return std::nullopt;
  };
  if (!registry) return fail(error);
  const std::string progidKey = name + "\\CLSID";
  const auto clsid = registry->Value(progidKey, "");
  if (!clsid && access(server.registry.c_str(), F_OK) != 0) {
    return fail("no registry file " + server.registry +
                "; register the server with vorlix-server /RegServer");
  }
  if (!clsid) {
    return fail("unknown ProgID: " + server.registry + " has no key HKEY_CLASSES_ROOT\\" +
                progidKey);
  }
  server.clsid = *clsid;
  server.key = "CLSID\\" + *clsid + "\\LocalServer32";
  const auto path = registry->Value(server.key, "");
  if (!path) {
    return fail("class " + *clsid + " has no registered server: " + server.registry +
                " has no value HKEY_CLASSES_ROOT\\" + server.key);
  }
  server.path = *path;
  return server;
}

// A connection to the server at socketPath, or nullptr when none listens there.
BusRef Connect(const std::string& socketPath) {
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return nullptr;
  const std::string address = "unix:path=" + socketPath;
  if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_start(bus) < 0) {
    sd_bus_close_unref(bus);
    return nullptr;
  }
  // Arrays packed, which this library decodes in one piece.
  AskForPackedArrays(bus);
  return BusRef(bus, [](sd_bus* b) {
    ForgetOptions(b);
    sd_bus_flush_close_unref(b);
  });
}

// Starts the server and waits for it to listen in directory (10 s at most); nullptr with the
// client error set when it cannot run, ends first, or does not listen in time.
BusRef Start(const Server& server, const std::string& directory) {
  const std::string socketPath = ServerSocketPath(directory);
  std::string error;
  const pid_t pid = StartServer(server.path, &error);
  if (pid < 0) {
    ClientFailure(E_FAIL, "cannot start the server " + server.path + " (HKEY_CLASSES_ROOT\\" +
                              server.key + " in " + server.registry + "): " + error);
    return nullptr;
  }
  const std::string which = "the server " + server.path + " (pid " + std::to_string(pid) + ")";
  for (int tries = 0; tries < 500; ++tries) {  // 500 x 20 ms: 10 s
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (BusRef bus = Connect(socketPath)) return bus;
    if (!StillRuns(pid)) {
      // Its reason is in its log when it came as far as opening it.
      const std::string log = ServerLogPath(directory);
      ClientFailure(E_FAIL, which + " ended before it listened on " + socketPath +
                                (access(log.c_str(), F_OK) == 0 ? "; see " + log : ""));
      return nullptr;
    }
  }
  ClientFailure(E_FAIL, which + " did not listen on " + socketPath + " within 10 s");
  return nullptr;
}

BusRef ConnectOrStart(const std::string& directory, const Server& server) {
  const std::string socketPath = ServerSocketPath(directory);
  if (BusRef bus = Connect(socketPath)) return bus;
  const std::string lockPath = ActivationLockPath(directory);
  const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    ClientFailure(E_FAIL, lockPath + ": " + strerror(errno));
    if (lock >= 0) close(lock);
    return nullptr;
  }
  // Another client may have started the server while this one waited for the lock.
  BusRef bus = Connect(socketPath);
  if (!bus) bus = Start(server, directory);
  close(lock);
  return bus;
}

}  // namespace

HRESULT GetClassObject(std::string_view progid, std::unique_ptr<ClassObject>* factory) {
  factory->reset();
  ClearClientError();
  const std::optional<Server> server = FindServer(progid);
  if (!server) return REGDB_E_CLASSNOTREG;
  const std::string directory = RuntimeDirectoryPath();
  std::string error;
  if (!PrepareRuntimeDirectory(directory, &error)) return ClientFailure(E_FAIL, error);
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    BusRef connection = ConnectOrStart(directory, *server);
    if (!connection) return E_FAIL;
    const BusRef kept = connection;
    hr = ClassObject::Get(std::move(connection), server->clsid, factory);
    // A server ending after its idle time-out may take a connection into its socket's queue
    // and close without answering it; the next attempt finds that server gone and starts one.
    if (hr != E_FAIL || sd_bus_is_open(kept.get()) > 0) break;
  }
  if (hr == CLASS_E_CLASSNOTAVAILABLE) {
    return ClientFailure(hr, "the server on " + ServerSocketPath(directory) + " does not serve " +
                                 std::string(progid) + " (" + server->clsid + ")");
  }
  return hr;
}

}  // namespace vorlix
