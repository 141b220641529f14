// The wire's cost, in the same run: each operation through the real server process (typed
// proxy over the socket), the same operation on an in-process connection object, and a 16-byte
// ping-pong over a socketpair as the floor of any round trip. Operations: GetVorlixVersion (0),
// a Seek answering a 5-field record (1), an Append of 3 fields answering the stored record (3),
// and SQL answering 1,000 to 1,000,000 rows of 3 columns (2; the last too big for one reply:
// what is timed is how soon it is refused); in process every element of the result is read.
// And the server's memory for one SQL call of each size.
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
//
// BM_ServerMemory: how far the server's resident size rises for one SQL call, against the size
// of the encoded result. With the result-set array made from the result's compact rows as it is
// written into the reply, and a packed array written in place (load 1, the previous server,
// f7fdfb3, built beside): 1,000 / 10,000 / 100,000 rows 6.6x / 7.0x / 6.4x -> 3.1x / 2.2x /
// 1.8x the reply (23.8 MiB for 13.0 MiB; the rest is the rows read, 16 bytes a value, and
// SQLite's cache). 1,000,000 rows are refused after reading them, 76 MiB either way. The time
// outside the client for 100,000 rows went from 85-86 ms to 63-64 ms, for 10,000 from 9.5-9.9
// ms to 5.0-5.7 ms (two runs each, alternating, load 2).
//
// With a Variant of 40 bytes instead of 72 (its value in one union), 100,000 rows through the
// server take 126-154 ms against 203-211 ms for f7fdfb3 (the client's CPU 78-93 ms against
// 123-136 ms), and 33 ms in process against 62-63 ms (two runs each, alternating, load 1.5);
// the server's rise for them is then 1.7x the reply (21.8 MiB).
//
// Pinned to one CPU (taskset -c 1, two runs, load 1): GetVorlixVersion 15.3-15.9 us, Seek
// 25.9-28.3 us against 4.7-6.4 us in process, Append 60-65 us against 23.5-32.5 us in process.
// In process an Append is mostly SQLite's commit (perf, its call stacks): the log's frames
// written, a header and a page in two calls each (38%), file locks (20%), checkpoints (9%).
// Through the server the server's share is the same work; the rest is the client's and the
// switches between the two.
//
// A result too big for one reply is now refused once its rows are sure not to fit, not after
// reading them all: with T raised to 10,000,000 rows, SQL of all of them was refused after
// 3.14 s with the server's memory up 578 MiB (ce1179b), and is refused after 0.20 s, up 73 MiB
// (1,000,000 rows: 0.16 s and 74 MiB before, 0.13 s now). For a refused result the server's
// rise swings between runs: 50-76 MiB over five runs, with or without the rows held in blocks
// (whose effect engine_bench's EngineRowsMemory shows).
//
// A packed array read where it lies in the reply, not copied first (two runs of 5 repetitions,
// alternating with the previous client, medians): 100,000 rows 142 / 156 ms -> 124 / 147 ms,
// the client's CPU 83 / 88 ms -> 72 / 84 ms. Then each container's level made in its place in
// the reader (a level made aside and copied in stalled the copy: 13% of the client's decoding,
// by perf): the client's CPU 83.5 / 81.9 ms -> 77.7 / 78.7 ms; and each element read into
// its place: 85.8 / 70.8 ms -> 67.9 / 63.9 ms (each step against the one before, as above).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "activation/RuntimeDirectory.h"
#include "automation/SafeArray.h"
#include "bench/PrivateServer.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "connection/Connection.h"
#include "protocol/VariantCodec.h"

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
  const Variant appended = Variant::Array(SafeArray::Vector(
      VT_VARIANT, 0,
      {Variant::Str(Bstr(u"A")), Variant::Str(Bstr(u"appended")), Variant::Str(Bstr(u"B")),
       Variant::R8(0.5), Variant::Str(Bstr(u"C")), Variant::I4(3)}));
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        db.GetVorlixVersion(&version);
        break;
      case 1:
        db.Seek(Variant::I4(7), &out, &ok);
        break;
      case 3:
        db.Append(appended, VARIANT_FALSE, &out, &ok);
        break;
      case 2:
        db.SQL(sql, &out, &ok);
        // Every element is read, as a client reads them: in process they are made then.
        if (out.IsArray()) benchmark::DoNotOptimize(out.AsArray().Elements().data());
        break;
    }
    benchmark::DoNotOptimize(out);
  }
  // Whether the last call answered: a result too big for one reply does not.
  state.counters["answered"] = ok == VARIANT_TRUE || state.range(0) == 0;
}

void ArgNames(benchmark::internal::Benchmark* b) {
  b->ArgNames({"op", "rows"})->Args({0, 0})->Args({1, 0})->Args({3, 0});
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

// The pid of the server listening on the run's socket, from the socket's peer credentials; -1
// when none answers.
pid_t ServerPid() {
  const std::string path = ServerSocketPath(RuntimeDirectoryPath());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ucred peer{};
  socklen_t length = sizeof peer;
  const bool known = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0;
  close(fd);
  return known ? peer.pid : -1;
}

// A figure of /proc/pid/status in bytes ("VmRSS", "VmHWM"); 0 when it cannot be read.
double StatusBytes(pid_t pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(name + ":")) return std::stod(line.substr(name.size() + 1)) * 1024;
  }
  return 0;
}

// The server's memory for one SQL call: how far its resident size rose above where it stood
// before the call (the peak is reset through clear_refs first), against the size of the
// encoded result. One call a server, each in a server of its own, so that no memory kept from
// an earlier call hides what this one needs.
void BM_ServerMemory(benchmark::State& state) {
  TheSetup();
  for (auto _ : state) {
    std::unique_ptr<DBConnection> db;
    if (CreateObject("Vorlix.DBConnection", &db) != S_OK) {
      state.SkipWithError("no server");
      return;
    }
    Prepare(*db);
    const pid_t pid = ServerPid();
    std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
    const double before = StatusBytes(pid, "VmRSS");
    VARIANT_BOOL ok = VARIANT_FALSE;
    Variant out;
    db->SQL(*Bstr::FromUtf8("SELECT K, Name, V FROM T LIMIT " + std::to_string(state.range(0))),
            &out, &ok);
    const double rise = StatusBytes(pid, "VmHWM") - before;
    WireWriter reply;
    AppendVariant(reply, out);
    state.counters["answered"] = ok == VARIANT_TRUE;
    state.counters["server_rise_MiB"] = rise / (1 << 20);
    state.counters["reply_MiB"] = reply.Bytes().size() / double(1 << 20);
    state.counters["rise_per_reply"] = ok == VARIANT_TRUE ? rise / reply.Bytes().size() : 0;
    db.reset();
    // The server ends once its last client has gone; the next round starts a new one.
    while (kill(pid, 0) == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
BENCHMARK(BM_ServerMemory)
    ->ArgName("rows")
    ->RangeMultiplier(10)
    ->Range(1000, kRows)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

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
