// The wire's cost, in the same run: each operation through the real server process (typed
// proxy over the socket), the same operation on an in-process connection object, and a 16-byte
// ping-pong over a socketpair as the floor of any round trip. Operations: GetVorlixVersion, a
// Seek answering a 5-field record, and SQL answering 100,000 rows of 3 columns.
//
// Run the release build: build/release/bench/wire_bench. One run on a shared 2-core machine
// (wall time): GetVorlixVersion 47 us over the wire against a 32 us ping-pong (1.5x the floor
// of any round trip; in process it is a 2 ns call); Seek 76 us against 7.4 us in process (10x,
// 2.3x the ping-pong); SQL 1.76 s against 0.27 s in process (6.5x: building, checking and
// copying the array's 700,000 VARIANTs twice more, in the server and in the client).
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

constexpr int64_t kRows = 100000;

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
      "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 99999)"
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
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        db.GetVorlixVersion(&version);
        break;
      case 1:
        db.Seek(Variant::I4(7), &out, &ok);
        break;
      case 2:
        db.SQL(Bstr(u"SELECT K, Name, V FROM T"), &out, &ok);
        break;
    }
    benchmark::DoNotOptimize(out);
  }
  if (state.range(0) != 0 && ok != VARIANT_TRUE) state.SkipWithError("the operation failed");
}

void ArgNames(benchmark::internal::Benchmark* b) {
  b->ArgName("op")->Arg(0)->Arg(1)->Arg(2);
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
