#include "server/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "activation/RuntimeDirectory.h"

namespace vorlix {
namespace {

// Past this size the file is rotated before the next line.
constexpr off_t kRotateAt = 1 << 20;

struct Sink {
  int fd = STDERR_FILENO;
  std::string path;  // the log file's, or empty for standard error
};

Sink& Current() {
  static Sink sink;
  return sink;
}

// Whether standard error leads nowhere: /dev/null (what activation gives the server) or closed.
bool StderrUnread() {
  struct stat err, null;
  if (fstat(STDERR_FILENO, &err) != 0) return true;
  return S_ISCHR(err.st_mode) && stat("/dev/null", &null) == 0 && err.st_rdev == null.st_rdev;
}

int OpenFile(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// Moves a full file aside and starts a new one; on failure lines go on into the old file.
void RotateIfFull(Sink& sink) {
  struct stat st;
  if (sink.path.empty() || fstat(sink.fd, &st) != 0 || st.st_size < kRotateAt) return;
  const std::string old = sink.path + ".1";
  if (rename(sink.path.c_str(), old.c_str()) != 0) return;
  const int fd = OpenFile(sink.path);
  if (fd < 0) return;
  close(sink.fd);
  sink.fd = fd;
}

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  tm utc;
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis));
  return text;
}

}  // namespace

bool OpenLog(const std::string& runtimeDirectory, std::string* error) {
  if (!StderrUnread()) return true;
  const std::string path = ServerLogPath(runtimeDirectory);
  const int fd = OpenFile(path);
  if (fd < 0) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  Sink& sink = Current();
  if (!sink.path.empty()) close(sink.fd);
  sink = {fd, path};
  return true;
}

void Log(const std::string& text) {
  Sink& sink = Current();
  RotateIfFull(sink);
  // One write per line: with O_APPEND, lines of a server that is ending and of one that is
  // starting do not mix.
  const std::string line =
      Now() + " vorlix-server[" + std::to_string(getpid()) + "]: " + text + "\n";
  [[maybe_unused]] const ssize_t written = write(sink.fd, line.data(), line.size());
}

bool LogCalls() {
  static const bool debug = [] {
    const char* level = getenv("VORLIX_LOG");
    return level && strcmp(level, "debug") == 0;
  }();
  return debug;
}

}  // namespace vorlix
