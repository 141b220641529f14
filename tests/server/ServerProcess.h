// The real vorlix-server process for end-to-end tests, with its registry and runtime directory
// in a temporary folder. Every process started here is ended and reaped before the test ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/Environment.h"

namespace vorlix::test {

// Runs program with args to its end (at most 60 s, then it is killed); its exit code, or -1.
int RunToEnd(const std::string& program, const std::vector<std::string>& args);

struct Finished {
  int code = -1;
  std::string out, err;  // what it wrote to standard output and standard error
};
// RunToEnd, with the program's standard output and error kept.
Finished RunCapturing(const std::string& program, const std::vector<std::string>& args);

// A unix stream socket connected to path, or -1 with errno saying why.
int ConnectTo(const std::string& path);
// The process at the other end of the connected unix socket fd; 0 when it cannot be told.
pid_t PeerPid(int fd);

class ServerFolder {
 public:
  ServerFolder();
  std::string RuntimeDirectory() const { return temp_.Path("run"); }
  std::string SocketPath() const { return RuntimeDirectory() + "/server"; }
  // Registers the server here with /RegServer, so that activation starts it; whether that worked.
  bool Register() const;
  // Whether the server is gone (its socket removed) within 15 s: idle time-out, pause and slack.
  bool ServerEnded() const;

 private:
  TempDir temp_;
  ScopedEnv registry_;
  ScopedEnv runtime_;
};

// A server started directly (as activation starts it, or with listenFd as systemd's socket
// unit starts it); killed with SIGKILL and reaped when it has not ended by destruction.
class ServerProcess {
 public:
  explicit ServerProcess(const ServerFolder& folder, int listenFd = -1);
  ~ServerProcess();
  // Whether the socket accepted a connection within 10 s.
  bool WaitForSocket() const;
  // Sends SIGTERM and waits (10 s at most); the exit code, or -1.
  int Terminate();
  // Waits for the server to end by itself (15 s at most: idle time-out, pause and slack); the
  // exit code, or -1.
  int WaitForEnd();

 private:
  const ServerFolder& folder_;
  int pid_ = -1;
};

}  // namespace vorlix::test
