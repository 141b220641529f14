#include "client/ServerStart.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace vorlix {
namespace {

// Reads exactly size bytes; false at the end of the pipe before them.
bool ReadFull(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

pid_t StartServer(const std::string& program, std::string* error) {
  // The grandchild writes its pid into the pipe, then, only when the exec fails, its errno.
  // The write end closes with the exec (close-on-exec), so the end of the pipe right after
  // the pid means the program runs. Only async-signal-safe calls happen between fork and exec.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + strerror(errno);
    return -1;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    if (fork() == 0) {
      setsid();
      const int null = open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; ++fd)
        dup2(null, fd);
      const pid_t self = getpid();
      [[maybe_unused]] ssize_t n = write(report[1], &self, sizeof self);
      execl(program.c_str(), program.c_str(), "-Embedding", static_cast<char*>(nullptr));
      const int failure = errno;
      n = write(report[1], &failure, sizeof failure);
      _exit(127);
    }
    _exit(0);
  }
  close(report[1]);
  if (child < 0) {
    *error = std::string("fork: ") + strerror(errno);
    close(report[0]);
    return -1;
  }
  waitpid(child, nullptr, 0);
  pid_t server = -1;
  int failure = 0;
  if (!ReadFull(report[0], &server, sizeof server)) {
    *error = "the starting process failed";
    server = -1;
  } else if (ReadFull(report[0], &failure, sizeof failure)) {
    *error = strerror(failure);
    server = -1;
  }
  close(report[0]);
  return server;
}

bool StillRuns(pid_t pid) {
  // The state follows the name in parentheses, which may hold spaces and parentheses itself.
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const size_t name = stat.rfind(')');
  if (name == std::string::npos || name + 2 >= stat.size()) return false;
  const char state = stat[name + 2];
  return state != 'Z' && state != 'X';
}

}  // namespace vorlix
