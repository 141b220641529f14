#include "tests/server/ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace vorlix::test {
namespace {

// What a started program gets besides its arguments; -1: nothing.
struct Inherited {
  int out = -1, err = -1;  // its standard output and error
  int listenFd = -1;       // a listening socket, passed as systemd passes one
};

int Spawn(const std::string& program, const std::vector<std::string>& args,
          Inherited inherited = {}) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (inherited.out >= 0) dup2(inherited.out, STDOUT_FILENO);
    if (inherited.err >= 0) dup2(inherited.err, STDERR_FILENO);
    if (inherited.listenFd >= 0) {
      // The first passed descriptor is 3; dup2 onto itself would keep close-on-exec.
      if (inherited.listenFd == 3) {
        fcntl(3, F_SETFD, 0);
      } else {
        dup2(inherited.listenFd, 3);
      }
      setenv("LISTEN_FDS", "1", 1);
      setenv("LISTEN_PID", std::to_string(getpid()).c_str(), 1);
    }
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

// The exit code of pid once it ends, killed when it runs longer than 60 s; -1 then.
int EndOf(int pid) {
  if (pid < 0) return -1;
  const int code = WaitFor(pid, std::chrono::seconds(60));
  if (code < 0) Kill(pid);
  return code;
}

}  // namespace

int RunToEnd(const std::string& program, const std::vector<std::string>& args) {
  return EndOf(Spawn(program, args));
}

Finished RunCapturing(const std::string& program, const std::vector<std::string>& args) {
  const int out = memfd_create("stdout", MFD_CLOEXEC);
  const int err = memfd_create("stderr", MFD_CLOEXEC);
  Finished finished;
  finished.code = EndOf(Spawn(program, args, {.out = out, .err = err}));
  for (auto [fd, text] : {std::pair{out, &finished.out}, std::pair{err, &finished.err}}) {
    char buffer[4096];
    for (ssize_t n, at = 0; (n = pread(fd, buffer, sizeof buffer, at)) > 0; at += n)
      text->append(buffer, static_cast<size_t>(n));
    close(fd);
  }
  return finished;
}

int ConnectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  const int error = errno;
  close(fd);
  errno = error;
  return -1;
}

pid_t PeerPid(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size);
  return peer.pid;
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

ServerProcess::ServerProcess(const ServerFolder& folder, int listenFd) : folder_(folder) {
  pid_ = Spawn(VORLIX_SERVER_PATH, {"-Embedding"}, {.listenFd = listenFd});
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && WaitFor(pid_, std::chrono::milliseconds(0)) < 0) Kill(pid_);
}

bool ServerProcess::WaitForSocket() const {
  for (int i = 0; i < 500; ++i) {
    const int fd = ConnectTo(folder_.SocketPath());
    if (fd >= 0) {
      close(fd);
      return true;
    }
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
