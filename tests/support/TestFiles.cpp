#include "tests/support/TestFiles.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/database/Database.h"

namespace vorlix::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vorlix-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

std::string Shell(const std::string& path, const std::string& sql) {
  const std::string load = std::string(".load '") + VORLIX_COLLATION_EXTENSION + "'";
  int out[2];
  if (pipe(out) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    execlp("sqlite3", "sqlite3", "-readonly", "-cmd", load.c_str(), path.c_str(), sql.c_str(),
           nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "sqlite3 shell missing" : text;
}

TempDir::~TempDir() {
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    if (entry.path().extension() != ".vdb") continue;
    EXPECT_EQ(Shell(entry.path().string(), "PRAGMA integrity_check;"), "ok\n") << entry.path();
  }
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::all, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << path;
    return rows;
  }
  char* error = nullptr;
  sqlite3_enable_load_extension(db, 1);
  if (sqlite3_load_extension(db, VORLIX_COLLATION_EXTENSION, nullptr, &error) != SQLITE_OK) {
    ADD_FAILURE() << "cannot load the collation: " << (error ? error : "");
    sqlite3_free(error);
  }
  auto collect = [](void* out, int n, char** values, char**) {
    std::string row;
    for (int i = 0; i < n; ++i)
      row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
    static_cast<std::vector<std::string>*>(out)->push_back(row);
    return 0;
  };
  if (sqlite3_exec(db, sql.c_str(), collect, &rows, &error) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << (error ? error : "");
    sqlite3_free(error);
  }
  sqlite3_close(db);
  return rows;
}

void CreateDatabase(const std::string& path) {
  CDaoDatabase db;
  db.Create(B(path));
}

int32_t InChildProcess(const std::function<int32_t()>& f) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    int32_t result = f();
    _exit(write(fds[1], &result, sizeof result) == sizeof result ? 0 : 1);
  }
  close(fds[1]);
  int32_t result = -1;
  if (read(fds[0], &result, sizeof result) != sizeof result) result = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return result;
}

}  // namespace vorlix::test
