#include "tests/support/PrivatePostgres.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vorlix {
namespace {

constexpr const char* kPrograms = "/usr/lib/postgresql/15/bin/";

struct User {
  uid_t uid;
  gid_t gid;
  std::string name;
};

// Who runs the cluster: this process's user, or the package's "postgres" user for root.
User ClusterUser() {
  const passwd* pw = geteuid() == 0 ? getpwnam("postgres") : getpwuid(geteuid());
  if (!pw) throw std::runtime_error("no user to run PostgreSQL as (is the package installed?)");
  return {pw->pw_uid, pw->pw_gid, pw->pw_name};
}

// Runs kPrograms/program with args as user, its output appended to log; its exit status, or -1
// when it did not exit normally.
int Run(const User& user, const std::string& program, const std::vector<std::string>& args,
        const std::string& log) {
  std::vector<std::string> all = {kPrograms + program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
    if (geteuid() != user.uid &&
        (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0)) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Tail(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

// The guardian's work, once the pipe it waits on closes: whoever closed it (the owner's
// destructor, or the kernel as the owner died), the cluster stops and its folder goes.
[[noreturn]] void Guard(int pipe, const User& user, const std::string& folder) {
  // A Ctrl-C or a kill of the process group must not take the guardian with the owner.
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  char byte;
  while (read(pipe, &byte, 1) < 0 && errno == EINTR) {
  }
  const std::string data = folder + "/data";
  if (std::filesystem::exists(data + "/postmaster.pid")) {
    Run(user, "pg_ctl", {"-D", data, "-m", "immediate", "-w", "-s", "stop"}, "/dev/null");
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  _exit(0);
}

}  // namespace

PrivatePostgres::PrivatePostgres() {
  const User user = ClusterUser();
  const std::string pattern =
      (std::filesystem::temp_directory_path() / "vorlix-pg-XXXXXX").string();
  std::vector<char> made(pattern.begin(), pattern.end());
  made.push_back('\0');
  if (!mkdtemp(made.data())) throw std::runtime_error("cannot make a folder for PostgreSQL");
  folder_ = made.data();
  int fds[2];
  if (chown(folder_.c_str(), user.uid, user.gid) != 0 || pipe2(fds, O_CLOEXEC) != 0) {
    std::filesystem::remove_all(folder_);
    throw std::runtime_error("cannot prepare " + folder_ + " for PostgreSQL");
  }
  guardianPid_ = fork();
  if (guardianPid_ == 0) {
    close(fds[1]);
    Guard(fds[0], user, folder_);
  }
  if (guardianPid_ < 0) {
    close(fds[0]);
    close(fds[1]);
    std::filesystem::remove_all(folder_);
    throw std::runtime_error("cannot start the guardian of PostgreSQL's folder");
  }
  close(fds[0]);
  guardian_ = fds[1];

  const std::string data = folder_ + "/data";
  const std::string setupLog = folder_ + "/setup.log";
  std::string failed;
  if (Run(user, "initdb",
          {"-D", data, "-U", user.name, "-A", "trust", "-E", "UTF8", "--no-locale", "--no-sync",
           "--no-instructions"},
          setupLog) != 0) {
    failed = "initdb";
  } else if (Run(user, "pg_ctl",
                 {"-D", data, "-l", folder_ + "/server.log", "-w", "-s", "-o",
                  "-k " + folder_ + " -c listen_addresses='' -c fsync=off", "start"},
                 setupLog) != 0) {
    failed = "pg_ctl start";
  }
  if (!failed.empty()) {
    const std::string log = Tail(setupLog) + Tail(folder_ + "/server.log");
    Stop();
    throw std::runtime_error("PostgreSQL's " + failed + " failed:\n" + log);
  }
  user_ = user.name;
  connInfo_ = "host=" + folder_ + " dbname=postgres user=" + user_;
}

void PrivatePostgres::Admit(const std::string& user) const {
  const passwd* pw = getpwnam(user.c_str());
  if (!pw || chown(folder_.c_str(), static_cast<uid_t>(-1), pw->pw_gid) != 0 ||
      chmod(folder_.c_str(), 0710) != 0) {
    throw std::runtime_error("cannot let " + user + " reach PostgreSQL in " + folder_);
  }
}

PrivatePostgres::~PrivatePostgres() {
  Stop();
}

void PrivatePostgres::Stop() {
  if (guardian_ < 0) return;
  close(guardian_);
  guardian_ = -1;
  while (waitpid(guardianPid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace vorlix
