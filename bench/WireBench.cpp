// The wire's cost, in the same run: each operation through the real server process (typed
// proxy over the socket), the same operation on an in-process connection object, and a 16-byte
// ping-pong over a socketpair as the floor of any round trip. Operations: GetVorlixVersion, a
// Seek answering a 5-field record, and SQL answering 1,000 to 1,000,000 rows of 3 columns (the
// last too big for one reply: what is timed is how soon it is refused).
//
// Run the release build: build/release/bench/wire_bench. One run on the shared 2-core machine
// (wall time, load 5): GetVorlixVersion 44 us over the wire against a 17 us ping-pong; Seek
// 73 us against 15 us in process; SQL of 1,000 / 10,000 / 100,000 rows 6.6 ms / 135 ms / 1.54 s
// against 0.55 ms / 5.2 ms / 0.41 s in process; 1,000,000 rows refused after 3.5 s (4.3 s to
// build in process). With the server reading its messages itself and refusing a result sure not
// to fit before building it (load 1): SQL of 1,000 / 10,000 / 100,000 rows 3.1 ms / 35 ms /
// 0.39 s, against 0.35 ms / 3.4 ms / 65 ms in process; 1,000,000 rows refused after 0.16 s.
// With packed arrays and the faster writing and reading of scalar VARIANTs, 100,000 rows take
// 0.22-0.23 s, of which the client's CPU 131 ms (288 ms before). The time a 100,000-row call
// spends outside the client (wall time less the client's CPU: the server and the socket) was
// 196-202 ms before any of this work (be6fe73, built beside) and is 75-79 ms now.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "bench/PrivateServer.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "connection/Connection.h"

namespace vorlix {
namespace {

constexpr int64_t kRows = 1000000;

// The server registered in a temporary folder, and a database there (table F of 5 fields with K
// unique, table T of 3 fields and kRows rows), made once for the run and removed at its end.
struct Setup {
  PrivateServer server{VORLIX_SERVER_PATH};
  std::string database = server.CreateDatabase(
      "wire.vdb",
      "CREATE TABLE F (K LONG, A TEXT(20), B DOUBLE, C LONG, D TEXT(20));"
      "INSERT INTO F VALUES (7, 'seven', 7.5, 70, 'sieben');"
      "CREATE UNIQUE INDEX ByK ON F (K);"
      "CREATE TABLE T (K LONG, Name TEXT(20), V DOUBLE);"
      "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 999999)"
      " INSERT INTO T SELECT k, 'name ' || k, k * 0.5 FROM n;");
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

// Runs the operations on a typed interface: the wire's DBConnection proxy or the in-process
// object, which have the same method names.
template <typename Db>
void Prepare(Db& db) {
  Bstr success;
  VARIANT_BOOL ok = VARIANT_FALSE;
  db.Open(*Bstr::FromUtf8(TheSetup().database), VARIANT_FALSE, VARIANT_FALSE, &success);
  db.Table(Bstr(u"F"), Bstr(u"ByK"), &ok);
}

template <typename Db>
void Operation(benchmark::State& state, Db& db) {
  VARIANT_BOOL ok = VARIANT_FALSE;
  Variant out;
  int16_t version = 0;
  const Bstr sql =
      *Bstr::FromUtf8("SELECT K, Name, V FROM T LIMIT " + std::to_string(state.range(1)));
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        db.GetVorlixVersion(&version);
        break;
      case 1:
        db.Seek(Variant::I4(7), &out, &ok);
        break;
      case 2:
        db.SQL(sql, &out, &ok);
        break;
    }
    benchmark::DoNotOptimize(out);
  }
  // Whether the last call answered: a result too big for one reply does not.
  state.counters["answered"] = ok == VARIANT_TRUE || state.range(0) == 0;
}

void ArgNames(benchmark::internal::Benchmark* b) {
  b->ArgNames({"op", "rows"})->Args({0, 0})->Args({1, 0});
  for (int64_t rows = 1000; rows <= kRows; rows *= 10)
    b->Args({2, rows});
}

void BM_Wire(benchmark::State& state) {
  TheSetup();  // the registry and runtime directory before activation looks for them
  std::unique_ptr<DBConnection> db;
  if (CreateObject("Vorlix.DBConnection", &db) != S_OK) {
    state.SkipWithError("no server");
    return;
  }
  Prepare(*db);
  Operation(state, *db);
}
BENCHMARK(BM_Wire)->Apply(ArgNames)->Unit(benchmark::kMicrosecond);

void BM_InProcess(benchmark::State& state) {
  CDBConnection connection;
  Prepare(connection);
  Operation(state, connection);
}
BENCHMARK(BM_InProcess)->Apply(ArgNames)->Unit(benchmark::kMicrosecond);

void BM_SocketPairPingPong(benchmark::State& state) {
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  std::thread echo([fd = fds[1]] {
    char buffer[16];
    while (read(fd, buffer, sizeof buffer) == sizeof buffer) {
      if (write(fd, buffer, sizeof buffer) != sizeof buffer) break;
    }
  });
  char buffer[16] = {};
  for (auto _ : state) {
    if (write(fds[0], buffer, sizeof buffer) != sizeof buffer ||
        read(fds[0], buffer, sizeof buffer) != sizeof buffer) {
      state.SkipWithError("ping-pong failed");
      break;
    }
  }
  shutdown(fds[0], SHUT_RDWR);
  echo.join();
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_SocketPairPingPong)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vorlix
