// 100,000 rows of 3 columns (integer, text, double) read into typed columns: through the real
// server with the cursor class (client/Cursor.h), against PostgreSQL reading the same rows
// through libpq from a private cluster of the run's own (PrivatePostgres). Goal: the cursor
// within 0.75x of libpq's time.
//
// Run the release build: build/release/bench/cursor_bench.
//
// On a shared 2-core machine (load 4): 151-155 ms in batches of 10,000 rows and 224-234 ms in
// one batch, against libpq's 26-34 ms (4.5x to 9x, far from the goal). Most of the server's
// time is a Variant per value (ClientStatement::Fetch builds them, 77% of its samples before
// its columns were reserved whole) and page faults (28%): every batch's buffers are fresh
// memory that malloc hands back to the system after the call. With malloc keeping it
// (GLIBC_TUNABLES=glibc.malloc.mmap_threshold=1073741824:glibc.malloc.trim_threshold=4294967295,
// which the client passes to the server it starts) an earlier run went from 442 to 192 ms.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <string>
#include <vector>

#include "bench/PrivatePostgres.h"
#include "bench/PrivateServer.h"
#include "client/CreateObject.h"
#include "client/Cursor.h"

namespace vorlix {
namespace {

constexpr int kRows = 100000;
constexpr const char* kSelect = "SELECT k, name, v FROM t";

// The server registered in a folder of the run's own, holding table T of kRows rows, and the
// private cluster holding the same rows; made once for the run and removed at its end.
struct Setup {
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
