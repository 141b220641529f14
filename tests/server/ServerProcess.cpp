#include "tests/server/ServerProcess.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace vorlix::test {
namespace {

int Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// The exit code once pid ends within the wait, else -1 (pid still running).
int WaitFor(int pid, std::chrono::milliseconds wait) {
  for (auto left = wait; left.count() >= 0; left -= std::chrono::milliseconds(20)) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

void Kill(int pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

int RunToEnd(const std::string& program, const std::vector<std::string>& args) {
  const int pid = Spawn(program, args);
  if (pid < 0) return -1;
  const int code = WaitFor(pid, std::chrono::seconds(60));
  if (code < 0) Kill(pid);
  return code;
}

ServerFolder::ServerFolder()
    : registry_("VORLIX_REGISTRY", temp_.Path("registry.reg").c_str()),
      runtime_("VORLIX_RUNTIME_DIR", temp_.Path("run").c_str()) {}

bool ServerFolder::Register() const {
  return RunToEnd(VORLIX_SERVER_PATH, {"/RegServer"}) == 0;
}

bool ServerFolder::ServerEnded() const {
  for (int i = 0; i < 750 && access(SocketPath().c_str(), F_OK) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return access(SocketPath().c_str(), F_OK) != 0;
}

ServerProcess::ServerProcess(const ServerFolder& folder) : folder_(folder) {
  pid_ = Spawn(VORLIX_SERVER_PATH, {"-Embedding"});
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && WaitFor(pid_, std::chrono::milliseconds(0)) < 0) Kill(pid_);
}

bool ServerProcess::WaitForSocket() const {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder_.SocketPath();
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  for (int i = 0; i < 500; ++i) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int ServerProcess::Terminate() {
  kill(pid_, SIGTERM);
  const int code = WaitFor(pid_, std::chrono::seconds(10));
  if (code >= 0) pid_ = -1;
  return code;
}

int ServerProcess::WaitForEnd() {
  const int code = WaitFor(pid_, std::chrono::seconds(15));
  if (code >= 0) pid_ = -1;
  return code;
}

}  // namespace vorlix::test
