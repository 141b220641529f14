// 100,000 rows of 3 columns (integer, text, double) read into typed columns: through the real
// server with the cursor class (client/Cursor.h), against PostgreSQL reading the same rows
// through libpq from a private cluster that this program starts in a temporary folder and
// stops at its end. Goal: the cursor within 0.75x of libpq's time.
//
// Run the release build: build/release/bench/cursor_bench. It needs PostgreSQL's programs in
// /usr/lib/postgresql/15/bin (Debian's postgresql package); run as root, they run as the
// postgres user, since initdb refuses root.
//
// On a shared 2-core machine (load 4): 151-155 ms in batches of 10,000 rows and 224-234 ms in
// one batch, against libpq's 26-34 ms (4.5x to 9x, far from the goal). Most of the server's
// time is a Variant per value (ClientStatement::Fetch builds them, 77% of its samples before
// its columns were reserved whole) and page faults (28%): every batch's buffers are fresh
// memory that malloc hands back to the system after the call. With malloc keeping it
// (GLIBC_TUNABLES=glibc.malloc.mmap_threshold=1073741824:glibc.malloc.trim_threshold=4294967295,
// which the client passes to the server it starts) an earlier run went from 442 to 192 ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/CreateObject.h"
#include "client/Cursor.h"
#include "engine/database/Database.h"

namespace vorlix {
namespace {

constexpr int kRows = 100000;
constexpr const char* kPostgresBin = "/usr/lib/postgresql/15/bin/";
constexpr const char* kSelect = "SELECT k, name, v FROM t";

// Runs a PostgreSQL program to its end, its output discarded, as the postgres user when this
// process is root; true when it exits with 0.
bool RunPostgres(std::vector<std::string> args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (geteuid() == 0) {
      const passwd* user = getpwnam("postgres");
      if (!user || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0) _exit(126);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A private cluster in dir, listening on a Unix socket there only; stopped by destruction.
struct PrivateCluster {
  std::filesystem::path dir;
  bool running = false;

  explicit PrivateCluster(std::filesystem::path folder) : dir(std::move(folder)) {
    std::filesystem::create_directories(dir);
    if (geteuid() == 0) {
      const passwd* user = getpwnam("postgres");
      if (!user || chown(dir.c_str(), user->pw_uid, user->pw_gid) != 0) return;
    }
    const std::string data = (dir / "data").string();
    running = RunPostgres({std::string(kPostgresBin) + "initdb", "-D", data, "-A", "trust", "-U",
                           "postgres", "--no-sync", "-E", "UTF8"}) &&
              RunPostgres({std::string(kPostgresBin) + "pg_ctl", "-D", data, "-w", "-s", "-l",
                           (dir / "log").string(), "-o",
                           "-k " + dir.string() + " -c listen_addresses='' -c fsync=off", "start"});
  }
  ~PrivateCluster() {
    if (running) {
      RunPostgres({std::string(kPostgresBin) + "pg_ctl", "-D", (dir / "data").string(), "-w", "-s",
                   "-m", "fast", "stop"});
    }
  }
  std::string ConnInfo() const { return "host=" + dir.string() + " dbname=postgres user=postgres"; }
};

// A registry, runtime directory and database for the server, and the private cluster, each
// holding table T of kRows rows, made once for the run and removed at its end.
struct Setup {
  std::filesystem::path dir;
  std::string database;
  std::unique_ptr<PrivateCluster> cluster;
  PGconn* pg = nullptr;

  Setup() {
    dir = std::filesystem::temp_directory_path() / ("vorlix-cursor-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("VORLIX_REGISTRY", (dir / "registry.reg").c_str(), 1);
    setenv("VORLIX_RUNTIME_DIR", (dir / "run").c_str(), 1);
    const pid_t pid = fork();
    if (pid == 0) {
      execl(VORLIX_SERVER_PATH, VORLIX_SERVER_PATH, "/RegServer", static_cast<char*>(nullptr));
      _exit(127);
    }
    waitpid(pid, nullptr, 0);
    database = (dir / "cursor.vdb").string();
    CDaoDatabase db;
    db.Create(*Bstr::FromUtf8(database));
    sqlite3_exec(db.Db().handle(),
                 "CREATE TABLE T (K LONG, Name TEXT(20), V DOUBLE);"
                 "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 99999)"
                 " INSERT INTO T SELECT k, 'name ' || k, k * 0.5 FROM n;",
                 nullptr, nullptr, nullptr);
    cluster = std::make_unique<PrivateCluster>(dir / "pg");
    if (!cluster->running) return;
    pg = PQconnectdb(cluster->ConnInfo().c_str());
    PQclear(
        PQexec(pg,
               "CREATE TABLE t (k integer, name varchar(20), v double precision);"
               "INSERT INTO t SELECT k, 'name ' || k, k * 0.5 FROM generate_series(0, 99999) k;"));
    PQclear(PQexec(pg, "VACUUM ANALYZE t"));  // not in the transaction of the text above
  }
  ~Setup() {
    PQfinish(pg);
    cluster.reset();
    std::filesystem::remove_all(dir);
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void BM_CursorColumns(benchmark::State& state) {
  TheSetup();  // the registry and runtime directory before activation looks for them
  std::unique_ptr<DBConnection2> db;
  InvokeResult opened;
  if (CreateObject("Vorlix.DBConnection", &db) != S_OK ||
      db->Invoke("Open",
                 {Variant::Str(*Bstr::FromUtf8(TheSetup().database)), Variant::Bool(false),
                  Variant::Bool(false)},
                 &opened) != S_OK) {
    state.SkipWithError("no server");
    return;
  }
  const int32_t batchRows = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    std::unique_ptr<Cursor> cursor;
    std::vector<Cursor::Batch> batches;
    size_t rows = 0;
    if (Cursor::Open(*db, kSelect, Variant(), &cursor, batchRows) != S_OK) break;
    do {
      batches.emplace_back();
      cursor->FetchColumns(batchRows, &batches.back());
      rows += batches.back().rows;
    } while (batches.back().rows > 0);
    if (rows != kRows) state.SkipWithError("rows are missing");
    benchmark::DoNotOptimize(batches);
  }
}
BENCHMARK(BM_CursorColumns)
    ->ArgName("batch")
    ->Arg(10000)
    ->Arg(kRows)
    ->Unit(benchmark::kMillisecond);

// The same rows from PostgreSQL into the same typed columns, converted from libpq's text form.
void BM_Libpq(benchmark::State& state) {
  PGconn* pg = TheSetup().pg;
  if (!pg || PQstatus(pg) != CONNECTION_OK) {
    state.SkipWithError("no PostgreSQL cluster");
    return;
  }
  for (auto _ : state) {
    PGresult* result = PQexec(pg, kSelect);
    const int rows = PQntuples(result);
    std::vector<int64_t> ks(rows);
    std::vector<std::string> names(rows);
    std::vector<double> vs(rows);
    for (int r = 0; r < rows; ++r) {
      ks[r] = strtoll(PQgetvalue(result, r, 0), nullptr, 10);
      names[r].assign(PQgetvalue(result, r, 1), PQgetlength(result, r, 1));
      vs[r] = strtod(PQgetvalue(result, r, 2), nullptr);
    }
    PQclear(result);
    if (rows != kRows) state.SkipWithError("rows are missing");
    benchmark::DoNotOptimize(ks);
    benchmark::DoNotOptimize(names);
    benchmark::DoNotOptimize(vs);
  }
}
BENCHMARK(BM_Libpq)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorlix
