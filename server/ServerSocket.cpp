#include "server/ServerSocket.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorlix {
namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  *address = {};
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) return false;
  memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Whether a server accepts connections at the address.
bool SomeoneListens(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool live = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return live;
}

// Binds fd to address with a socket file that only its user may use (0600). The file takes its
// mode from the umask when bind makes it; a chmod afterwards would leave a moment in which it
// is wider. The umask is the process's, but the server's other thread makes no files.
bool BindPrivately(int fd, const sockaddr_un& address) {
  const mode_t before = umask(0177);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  umask(before);
  return bound;
}

}  // namespace

int TakeServerLock(const std::string& directory, std::string* error) {
  const std::string path = directory + "/server.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = path + ": " + strerror(errno);
    return -1;
  }
  int r;
  for (int tries = 0; (r = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EWOULDBLOCK &&
                      tries < 100;  // 100 x 20 ms: 2 s
       ++tries) {
    usleep(20000);
  }
  if (r != 0) {
    *error = errno == EWOULDBLOCK ? "another server runs in " + directory
                                  : path + ": " + strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int ListenOnSocket(const std::string& path, std::string* error) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    *error = path + ": path too long for a socket";
    return -1;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = path + ": exists and is not a socket";
      return -1;
    }
    if (SomeoneListens(address)) {
      *error = path + ": a server already listens there";
      return -1;
    }
    unlink(path.c_str());
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || !BindPrivately(fd, address) || listen(fd, SOMAXCONN) != 0) {
    *error = path + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

int InheritedListenSocket(std::string* error) {
  // sd_listen_fds has also set close-on-exec on what it returns.
  const int count = sd_listen_fds(1);
  if (count == 0) return -1;
  const int fd = SD_LISTEN_FDS_START;
  if (count < 0) {
    *error = std::string("LISTEN_FDS: ") + strerror(-count);
  } else if (count > 1) {
    *error = "systemd passed " + std::to_string(count) + " sockets; the server listens on one";
  } else if (sd_is_socket_unix(fd, SOCK_STREAM, 1, nullptr, 0) <= 0) {
    *error = "what systemd passed is not a listening unix stream socket";
  } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
    *error = std::string("inherited socket: ") + strerror(errno);
  } else {
    return fd;
  }
  return -1;
}

bool PeerMayConnect(int fd, pid_t* pid, uid_t* uid) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  *pid = peer.pid;
  *uid = peer.uid;
  return peer.uid == geteuid() || peer.uid == 0;
}

}  // namespace vorlix
