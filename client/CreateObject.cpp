#include "client/CreateObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "activation/RegistryFile.h"
#include "activation/RuntimeDirectory.h"

namespace vorlix {
namespace {

struct Server {
  std::string clsid;
  std::string path;
};

std::optional<Server> FindServer(std::string_view progid) {
  std::string error;
  const std::optional<Registry> registry = ReadRegistry(RegistryPath(), &error);
  if (!registry) return std::nullopt;
  const auto clsid = registry->Value(std::string(progid) + "\\CLSID", "");
  if (!clsid) return std::nullopt;
  const auto path = registry->Value("CLSID\\" + *clsid + "\\LocalServer32", "");
  if (!path) return std::nullopt;
  return Server{*clsid, *path};
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
  return BusRef(bus, [](sd_bus* b) { sd_bus_flush_close_unref(b); });
}

// Starts the server in its own session, standard streams on /dev/null, as a grandchild so no
// zombie stays behind in this process.
void StartServer(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    if (fork() == 0) {
      setsid();
      const int null = open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; ++fd)
        dup2(null, fd);
      execl(path.c_str(), path.c_str(), "-Embedding", static_cast<char*>(nullptr));
      _exit(127);
    }
    _exit(0);
  }
  if (child > 0) waitpid(child, nullptr, 0);
}

BusRef ConnectOrStart(const std::string& directory, const std::string& serverPath) {
  const std::string socketPath = ServerSocketPath(directory);
  if (BusRef bus = Connect(socketPath)) return bus;
  const int lock = open(ActivationLockPath(directory).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    if (lock >= 0) close(lock);
    return nullptr;
  }
  // Another client may have started the server while this one waited for the lock.
  BusRef bus = Connect(socketPath);
  if (!bus) {
    StartServer(serverPath);
    for (int tries = 0; !bus && tries < 500; ++tries) {  // 500 x 20 ms: 10 s
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      bus = Connect(socketPath);
    }
  }
  close(lock);
  return bus;
}

}  // namespace

HRESULT GetClassObject(std::string_view progid, std::unique_ptr<ClassObject>* factory) {
  factory->reset();
  const std::optional<Server> server = FindServer(progid);
  if (!server) return REGDB_E_CLASSNOTREG;
  const std::string directory = RuntimeDirectoryPath();
  std::string error;
  if (!PrepareRuntimeDirectory(directory, &error)) return E_FAIL;
  BusRef connection = ConnectOrStart(directory, server->path);
  if (!connection) return E_FAIL;
  return ClassObject::Get(std::move(connection), server->clsid, factory);
}

}  // namespace vorlix
