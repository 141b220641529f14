// PrivatePostgres: a PostgreSQL 15 cluster of one program's own, for the benchmarks and tests
// that compare with or store in PostgreSQL. It lives in a temporary folder, listens on a Unix
// socket there and on no network port, and is stopped and removed when the object goes, or,
// should the program die first (a crash, SIGKILL), by a guardian process that notices it.
//
// Debian's postgresql package provides the programs. They refuse to run as root, so a root
// process runs them as the package's "postgres" user.
#pragma once

#include <sys/types.h>

#include <string>

namespace vorlix {

class PrivatePostgres {
 public:
  // Makes and starts the cluster (fsync off: it holds nothing worth keeping), with one database
  // "postgres" that a libpq client reaches without a password. Throws std::runtime_error saying
  // which step failed, with the end of its log.
  PrivatePostgres();
  // Stops the cluster at once and removes its folder.
  ~PrivatePostgres();
  PrivatePostgres(const PrivatePostgres&) = delete;
  PrivatePostgres& operator=(const PrivatePostgres&) = delete;

  // Lets the processes of user (a name) reach the cluster's socket too, as another machine's
  // would reach a server: its folder's group becomes theirs, with search permission for it.
  // For root only, which may hand a folder to any group. Throws std::runtime_error otherwise.
  void Admit(const std::string& user) const;

  // The libpq connection string of the cluster's database "postgres".
  const std::string& ConnInfo() const { return connInfo_; }
  // The libpq URI of the cluster's database called database (which need not exist yet).
  std::string Uri(const std::string& database) const {
    return "postgresql://" + user_ + "@/" + database + "?host=" + folder_;
  }

 private:
  // Has the guardian stop the cluster and remove the folder, and waits until it has.
  void Stop();

  std::string folder_;
  std::string connInfo_;
  std::string user_;
  int guardian_ = -1;  // our end of the pipe the guardian waits on
  pid_t guardianPid_ = -1;
};

}  // namespace vorlix
