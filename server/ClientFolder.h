// Server side: relative file names given by a client are the client's, not the server's. One
// server serves every client of the user, each in a working folder of its own, and the server's
// own is whatever the client that started it had, so the server works in the caller's folder
// for the length of each call that may open a file by name (Method::opensFiles).
#pragma once

#include <sys/types.h>

#include <string>

namespace vorlix {

// The working folder of one client process, reached through the process's /proc entry, which is
// opened once. A descriptor of /proc/<pid>/cwd itself would keep the folder the link led to
// when it was opened; the entry's "cwd" is read afresh each time, so a client that changed its
// folder since its last call is followed. Once the client has gone, the entry leads nowhere,
// even when another process has its pid by then. Without a descriptor to spare, the folder is
// entered by the link's path, as a process the pid names.
class ClientFolder {
 public:
  explicit ClientFolder(pid_t client);
  ~ClientFolder();
  ClientFolder(const ClientFolder&) = delete;
  ClientFolder& operator=(const ClientFolder&) = delete;

  // Makes the client's working folder this process's own. When it cannot be read (the client
  // has gone, or is another user's), the working folder becomes "/", so that a relative name
  // never lands in the folder of some other client.
  void Enter() const;

 private:
  int process_;       // /proc/<pid>, O_PATH; -1 when it could not be opened
  std::string link_;  // "/proc/<pid>/cwd"
};

}  // namespace vorlix
