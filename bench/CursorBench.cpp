// 100,000 rows of 3 columns (integer, text, double) read into typed columns: through the real
// server with the cursor class (client/Cursor.h), against PostgreSQL reading the same rows
// through libpq from a private cluster of the run's own (PrivatePostgres). Goal: the cursor
// within 0.75x of libpq's time.
//
// Run the release build: build/release/bench/cursor_bench. It pins itself, the server and the
// cluster to one CPU; BM_CursorOverLibpq alternates the two sides round by round and gives the
// median of the rounds' ratios, which moves far less than the times on a loaded machine.
//
// Before the packed form (Fetch's typed arrays, a Variant per value on both sides), under load
// 10 on the shared 2-core machine: ratio 1.51-1.59 in batches of 10,000 rows, 5.4-6.4 in one
// batch; run apart, 173 ms and 314 ms against libpq's 43 ms (4.1x, 7.4x). Most of the server's
// time was a Variant per value and page faults from buffers malloc handed back to the system.
//
// With the packed form (FetchPacked: the statement's cells straight into typed columns, one
// block of bytes, a sealed memory file past 256 KiB): ratio 0.44-0.50 in batches of 10,000,
// 0.63-0.82 in one batch. The client decodes 100,000 rows in about 4 ms of its CPU; of the
// server's samples SQLite is about 30%, building the columns 15%, and copying the bytes into
// the memory file and faulting in fresh pages for them most of the rest.
//
// libpq's own time depends on malloc: in a fresh process it takes about 58 ms of CPU a query,
// faulting in the pages of every result that malloc gave back, and 20 ms where the heap stays
// grown (after the old cursor's many small blocks, or with GLIBC_TUNABLES=
// glibc.malloc.mmap_threshold=1073741824:glibc.malloc.trim_threshold=4294967295 in this
// program's environment; the server keeps its own threshold, server/Allocator.h). With that
// setting the ratio is 0.70-0.75 in batches of 10,000 and 0.90-1.24 in one batch.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/Pin.h"
#include "bench/PrivateServer.h"
#include "client/CreateObject.h"
#include "client/Cursor.h"
#include "tests/support/PrivatePostgres.h"

namespace vorlix {
namespace {

constexpr int kRows = 100000;
constexpr const char* kSelect = "SELECT k, name, v FROM t";

// The server registered in a folder of the run's own, holding table T of kRows rows, and the
// private cluster holding the same rows; made once for the run and removed at its end.
struct Setup {
  int cpu = Pin(-1);  // before the server and the cluster start, so that they share it
  PrivateServer server{VORLIX_SERVER_PATH};
  std::string database = server.CreateDatabase(
      "cursor.vdb",
      "CREATE TABLE T (K LONG, Name TEXT(20), V DOUBLE);"
      "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 99999)"
      " INSERT INTO T SELECT k, 'name ' || k, k * 0.5 FROM n;");
  PrivatePostgres cluster;
  PGconn* pg = nullptr;

  Setup() {
    pg = PQconnectdb(cluster.ConnInfo().c_str());
    PQclear(
        PQexec(pg,
               "CREATE TABLE t (k integer, name varchar(20), v double precision);"
               "INSERT INTO t SELECT k, 'name ' || k, k * 0.5 FROM generate_series(0, 99999) k;"));
    PQclear(PQexec(pg, "VACUUM ANALYZE t"));  // not in the transaction of the text above
  }
  ~Setup() { PQfinish(pg); }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

// A connection to the server with the database open, or nullptr.
std::unique_ptr<DBConnection2> OpenDatabase() {
  TheSetup();  // the registry and runtime directory before activation looks for them
  std::unique_ptr<DBConnection2> db;
  InvokeResult opened;
  if (CreateObject("Vorlix.DBConnection", &db) != S_OK ||
      db->Invoke("Open",
                 {Variant::Str(*Bstr::FromUtf8(TheSetup().database)), Variant::Bool(false),
                  Variant::Bool(false)},
                 &opened) != S_OK) {
    return nullptr;
  }
  return db;
}

// Every row through the cursor, batchRows at a time; false when rows are missing.
bool ReadCursor(DBConnection2& db, int32_t batchRows) {
  std::unique_ptr<Cursor> cursor;
  std::vector<Cursor::Batch> batches;
  size_t rows = 0;
  if (Cursor::Open(db, kSelect, Variant(), &cursor, batchRows) != S_OK) return false;
  do {
    batches.emplace_back();
    cursor->FetchColumns(batchRows, &batches.back());
    rows += batches.back().rows;
  } while (batches.back().rows > 0);
  benchmark::DoNotOptimize(batches);
  return rows == kRows;
}

// The same rows from PostgreSQL into the same typed columns, converted from libpq's text form.
bool ReadLibpq(PGconn* pg) {
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
  benchmark::DoNotOptimize(ks);
  benchmark::DoNotOptimize(names);
  benchmark::DoNotOptimize(vs);
  return rows == kRows;
}

bool HavePostgres() {
  PGconn* pg = TheSetup().pg;
  return pg && PQstatus(pg) == CONNECTION_OK;
}

void BM_CursorColumns(benchmark::State& state) {
  std::unique_ptr<DBConnection2> db = OpenDatabase();
  if (!db) return state.SkipWithError("no server");
  for (auto _ : state) {
    if (!ReadCursor(*db, static_cast<int32_t>(state.range(0)))) {
      return state.SkipWithError("rows are missing");
    }
  }
}
BENCHMARK(BM_CursorColumns)
    ->ArgName("batch")
    ->Arg(10000)
    ->Arg(kRows)
    ->Unit(benchmark::kMillisecond);

void BM_Libpq(benchmark::State& state) {
  if (!HavePostgres()) return state.SkipWithError("no PostgreSQL cluster");
  for (auto _ : state) {
    if (!ReadLibpq(TheSetup().pg)) return state.SkipWithError("rows are missing");
  }
}
BENCHMARK(BM_Libpq)->Unit(benchmark::kMillisecond);

// The cursor's time over libpq's, each iteration a round of both, alternating which goes
// first: "ratio" is the median of the rounds' ratios, which a noisy neighbour moves far less
// than the times above.
void BM_CursorOverLibpq(benchmark::State& state) {
  std::unique_ptr<DBConnection2> db = OpenDatabase();
  if (!db || !HavePostgres()) return state.SkipWithError("no server or no PostgreSQL cluster");
  const int32_t batchRows = static_cast<int32_t>(state.range(0));
  std::vector<double> ratios;
  for (auto _ : state) {
    using Clock = std::chrono::steady_clock;
    Clock::duration cursor{}, libpq{};
    bool whole = true;
    for (int side = 0; side < 2; ++side) {
      const Clock::time_point start = Clock::now();
      const bool ours = (side == 0) == (ratios.size() % 2 == 0);
      whole &= ours ? ReadCursor(*db, batchRows) : ReadLibpq(TheSetup().pg);
      (ours ? cursor : libpq) = Clock::now() - start;
    }
    if (!whole) return state.SkipWithError("rows are missing");
    ratios.push_back(std::chrono::duration<double>(cursor) / libpq);
  }
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  state.counters["ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_CursorOverLibpq)
    ->ArgName("batch")
    ->Arg(10000)
    ->Arg(kRows)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorlix
