// The engine against plain SQLite doing the same work on the same file, in the same run:
// seeks on tables of 1,000 and 1,000,000 rows, by a number and by text, moves to the next
// record in index order, appending records, reading a 100,000-row query result, and building
// an index on text; and the memory reading a query's whole result takes. The plain SQLite
// side keeps no statement open between operations either, since the engine may hold no lock
// between calls, except for the walk: that is measured against stepping one open statement,
// the fastest a walk could be.
//
// EngineRowsMemory, with the rows held in blocks rather than in one growing buffer (the
// previous engine built beside, one run each): 100,000 rows peak 9.7 -> 6.0 MiB, held 7.4 ->
// 6.0 MiB; 771,000 rows (as many as a reply's budget lets a server read of such rows) peak
// 78.5 -> 44.0 MiB, held 58.3 -> 44.0 MiB.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/QueryDef.h"
#include "engine/recordsets/Recordset.h"
#include "engine/store/Sqlite.h"
#include "engine/store/TextCollation.h"

namespace vorlix {
namespace {

// A database file with table T (K LONG unique, Name TEXT(20), V DOUBLE) of rows K = 0..rows-1,
// made once per size for the whole run.
const std::string& Database(int64_t rows) {
  // The files go when the run ends.
  static struct Made : std::map<int64_t, std::string> {
    ~Made() {
      for (const auto& [rows, path] : *this) {
        for (const char* suffix : {"", "-wal", "-shm"})
          std::filesystem::remove(path + suffix);
      }
    }
  } made;
  std::string& path = made[rows];
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() /
          ("vorlix-bench-" + std::to_string(getpid()) + "-" + std::to_string(rows) + ".vdb"))
             .string();
  std::filesystem::remove(path);
  CDaoDatabase db;
  db.Create(Bstr::FromUtf8(path).value());
  sqlite3* raw = static_cast<SqliteDb&>(Internal(db).Db()).handle();  // a file, so SQLite
  sqlite3_exec(raw,
               "CREATE TABLE T (K LONG, Name TEXT(20) COLLATE NOCASE, V DOUBLE);"
               "CREATE TABLE A (K LONG, Name TEXT(20) COLLATE NOCASE, V DOUBLE);"
               "BEGIN",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(raw, "INSERT INTO T VALUES (?1, 'name ' || ?1, ?1 * 0.5)", -1, &insert,
                     nullptr);
  for (int64_t k = 0; k < rows; ++k) {
    sqlite3_bind_int64(insert, 1, k);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(raw, "CREATE UNIQUE INDEX ByK ON T (K); COMMIT", nullptr, nullptr, nullptr);
  return path;
}

// Text keys: a file of four tables <collation><Ascii|Accented> (K LONG, Name TEXT(20) COLLATE
// <collation>), each of 1,000,000 rows named "name <k>" or "nâme <k>" and indexed on Name. The
// general order stands against the NOCASE that Text fields had before it, and ASCII text (its
// fast path) against text beyond ASCII (ICU throughout).
constexpr int64_t kTextRows = 1000000;
constexpr const char* kCollations[] = {"NOCASE", kTextCollation};

std::string TextTable(int64_t collation, int64_t accented) {
  return std::string(kCollations[collation]) + (accented ? "Accented" : "Ascii");
}

const char* TextPrefix(int64_t accented) {
  return accented ? "nâme " : "name ";
}

std::string TextKey(int64_t k, int64_t accented) {
  return TextPrefix(accented) + std::to_string(k);
}

const std::string& TextDatabase() {
  static const std::string path = [] {
    const std::string& file = Database(kTextRows);
    CDaoDatabase db;
    db.Open(Bstr::FromUtf8(file).value());
    sqlite3* raw = static_cast<SqliteDb&>(Internal(db).Db()).handle();  // a file, so SQLite
    for (int64_t collation : {0, 1}) {
      for (int64_t accented : {0, 1}) {
        const std::string table = TextTable(collation, accented);
        sqlite3_exec(raw,
                     ("BEGIN; CREATE TABLE " + table + " (K LONG, Name TEXT(20) COLLATE " +
                      kCollations[collation] + "); INSERT INTO " + table + " SELECT K, '" +
                      TextPrefix(accented) + "' || K FROM T; CREATE INDEX " + table + "ByName ON " +
                      table + " (Name); COMMIT")
                         .c_str(),
                     nullptr, nullptr, nullptr);
      }
    }
    return file;
  }();
  return path;
}

// Plain SQLite on the file, set up as the engine sets up its connections (the general order
// included).
struct Plain {
  explicit Plain(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                 nullptr);
    sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, TextOrder::New(), CompareText,
                                DestroyTextOrder);
  }
  ~Plain() {
    for (auto& [sql, stmt] : statements)
      sqlite3_finalize(stmt);
    sqlite3_close(db);
  }
  sqlite3_stmt* Statement(const char* sql) {
    sqlite3_stmt*& stmt = statements[sql];
    if (!stmt) sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    return stmt;
  }
  // Steps stmt once, reading the row as the engine reads a record, then resets it.
  static void ReadRow(sqlite3_stmt* stmt, benchmark::State& state) {
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 0));
      benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 1));
      benchmark::DoNotOptimize(
          std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)),
                      sqlite3_column_bytes(stmt, 2)));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 3));
    } else {
      state.SkipWithError("no row");
    }
    sqlite3_reset(stmt);
  }

  sqlite3* db = nullptr;
  std::map<std::string, sqlite3_stmt*> statements;
};

void Open(CDaoDatabase& db, CDaoRecordset& rs, int64_t rows) {
  db.Open(Bstr::FromUtf8(Database(rows)).value());
  rs.Open(dbOpenTable, u"T");
  rs.SetCurrentIndex(u"ByK");
}

void EngineSeek(benchmark::State& state) {
  CDaoDatabase db;
  CDaoRecordset rs(&db);
  Open(db, rs, state.range(0));
  std::mt19937_64 random(1);
  for (auto _ : state) {
    const Variant key = Variant::I4(static_cast<int32_t>(random() % state.range(0)));
    if (!rs.Seek("=", &key)) state.SkipWithError("not found");
    benchmark::DoNotOptimize(rs.GetFieldValue(1));
  }
}

void SqliteSeek(benchmark::State& state) {
  Plain plain(Database(state.range(0)));
  std::mt19937_64 random(1);
  for (auto _ : state) {
    sqlite3_stmt* s = plain.Statement("SELECT rowid, K, Name, V FROM T WHERE K = ?1 LIMIT 1");
    sqlite3_bind_int64(s, 1, static_cast<int64_t>(random() % state.range(0)));
    Plain::ReadRow(s, state);
  }
}

// Args: collation (0 NOCASE, 1 the general order), text beyond ASCII (0 or 1).
void EngineSeekText(benchmark::State& state) {
  CDaoDatabase db;
  db.Open(Bstr::FromUtf8(TextDatabase()).value());
  CDaoRecordset rs(&db);
  const std::string table = TextTable(state.range(0), state.range(1));
  rs.Open(dbOpenTable, Bstr::FromUtf8(table).value());
  rs.SetCurrentIndex(Bstr::FromUtf8(table + "ByName").value());
  std::mt19937_64 random(1);
  for (auto _ : state) {
    const Variant key = Variant::Str(
        Bstr::FromUtf8(TextKey(static_cast<int64_t>(random() % kTextRows), state.range(1)))
            .value());
    if (!rs.Seek("=", &key)) state.SkipWithError("not found");
    benchmark::DoNotOptimize(rs.GetFieldValue(1));
  }
}

void SqliteSeekText(benchmark::State& state) {
  Plain plain(TextDatabase());
  const std::string sql = "SELECT rowid, K, Name FROM " +
                          TextTable(state.range(0), state.range(1)) + " WHERE Name = ?1 LIMIT 1";
  std::mt19937_64 random(1);
  for (auto _ : state) {
    sqlite3_stmt* s = plain.Statement(sql.c_str());
    const std::string key = TextKey(static_cast<int64_t>(random() % kTextRows), state.range(1));
    sqlite3_bind_text(s, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s) != SQLITE_ROW) state.SkipWithError("not found");
    benchmark::DoNotOptimize(sqlite3_column_int64(s, 1));
    sqlite3_reset(s);
  }
}

// Building an index on the 1,000,000 names, as CreateIndex does: the sort is the collation's.
void IndexBuildText(benchmark::State& state) {
  Plain plain(TextDatabase());
  const std::string table = TextTable(state.range(0), state.range(1));
  const std::string build = "CREATE INDEX Built ON " + table + " (Name)";
  for (auto _ : state) {
    if (sqlite3_exec(plain.db, build.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      state.SkipWithError(sqlite3_errmsg(plain.db));
    }
    state.PauseTiming();
    sqlite3_exec(plain.db, "DROP INDEX Built", nullptr, nullptr, nullptr);
    state.ResumeTiming();
  }
}

void EngineMoveNext(benchmark::State& state) {
  CDaoDatabase db;
  CDaoRecordset rs(&db);
  Open(db, rs, state.range(0));
  for (auto _ : state) {
    rs.MoveNext();
    if (rs.IsEOF()) rs.MoveFirst();
    benchmark::DoNotOptimize(rs.GetFieldValue(1));
  }
}

// What a walk through the index would cost with a statement kept open from one row to the
// next: the floor the engine's walk, which keeps none between calls, is measured against.
void SqliteStep(benchmark::State& state) {
  Plain plain(Database(state.range(0)));
  sqlite3_stmt* s = plain.Statement("SELECT rowid, K, Name, V FROM T ORDER BY K");
  for (auto _ : state) {
    if (sqlite3_step(s) != SQLITE_ROW) {
      sqlite3_reset(s);  // past the end: start again, as the engine's loop does
      continue;
    }
    benchmark::DoNotOptimize(sqlite3_column_int64(s, 0));
    benchmark::DoNotOptimize(sqlite3_column_int64(s, 1));
    benchmark::DoNotOptimize(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 2)),
                                         sqlite3_column_bytes(s, 2)));
    benchmark::DoNotOptimize(sqlite3_column_double(s, 3));
  }
  sqlite3_reset(s);
}

void EngineAppend(benchmark::State& state) {
  CDaoDatabase db;
  db.Open(Bstr::FromUtf8(Database(1000)).value());
  CDaoRecordset rs(&db);
  rs.Open(dbOpenTable, u"A");
  int32_t k = 0;
  for (auto _ : state) {
    rs.AddNew();
    rs.SetFieldValue(u"K", Variant::I4(++k));
    rs.SetFieldValue(u"Name", Bstr(u"appended"));
    rs.SetFieldValue(u"V", Variant::R8(k * 0.5));
    rs.Update();
  }
}

void SqliteAppend(benchmark::State& state) {
  Plain plain(Database(1000));
  int64_t k = 0;
  for (auto _ : state) {
    sqlite3_stmt* s = plain.Statement("INSERT INTO A VALUES (?1, 'appended', ?2)");
    sqlite3_bind_int64(s, 1, ++k);
    sqlite3_bind_double(s, 2, k * 0.5);
    if (sqlite3_step(s) != SQLITE_DONE) state.SkipWithError("insert failed");
    sqlite3_reset(s);
  }
}

void EngineSnapshot(benchmark::State& state) {
  CDaoDatabase db;
  db.Open(Bstr::FromUtf8(Database(100000)).value());
  for (auto _ : state) {
    CDaoQueryDef q(&db);
    q.Create(Bstr(), u"SELECT K, Name, V FROM T");
    CDaoRecordset rs(&db);
    rs.Open(&q, dbOpenSnapshot, 0);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      for (int i = 0; i < 3; ++i)
        benchmark::DoNotOptimize(rs.GetFieldValue(i));
    }
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}

void SqliteSnapshot(benchmark::State& state) {
  Plain plain(Database(100000));
  for (auto _ : state) {
    sqlite3_stmt* s = plain.Statement("SELECT K, Name, V FROM T");
    while (sqlite3_step(s) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(s, 0));
      benchmark::DoNotOptimize(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)),
                                           sqlite3_column_bytes(s, 1)));
      benchmark::DoNotOptimize(sqlite3_column_double(s, 2));
    }
    sqlite3_reset(s);
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}

// A figure of this process's /proc/self/status, in MiB ("VmRSS", "VmHWM").
double StatusMiB(const std::string& name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(name + ":")) return std::stod(line.substr(name.size() + 1)) / 1024;
  }
  return 0;
}

// The memory a query's whole result takes to read: how far the resident size peaks above where
// it stood (the peak reset through clear_refs), and what it holds once read. Rows of 3 columns
// made by the query itself; run it alone (--benchmark_filter), so that no other benchmark's
// memory is in the figures.
void EngineRowsMemory(benchmark::State& state) {
  CDaoDatabase db;
  db.Open(Bstr::FromUtf8(Database(1000)).value());
  const std::string sql =
      "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < " +
      std::to_string(state.range(0) - 1) + ") SELECT k, 'name ' || k, k * 0.5 FROM n";
  for (auto _ : state) {
    CDaoQueryDef q(&db);
    q.Create(Bstr(), Bstr::FromUtf8(sql).value());
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusMiB("VmRSS");
    const ResultSet result = q.Rows();
    state.counters["peak_MiB"] = StatusMiB("VmHWM") - before;
    state.counters["held_MiB"] = StatusMiB("VmRSS") - before;
    benchmark::DoNotOptimize(result.rows.size());
  }
}

BENCHMARK(EngineSeek)->Arg(1000)->Arg(1000000);
BENCHMARK(SqliteSeek)->Arg(1000)->Arg(1000000);
BENCHMARK(EngineSeekText)->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(SqliteSeekText)->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(IndexBuildText)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(EngineMoveNext)->Arg(1000000);
BENCHMARK(SqliteStep)->Arg(1000000);
BENCHMARK(EngineAppend);
BENCHMARK(SqliteAppend);
BENCHMARK(EngineSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(EngineRowsMemory)->Arg(100000)->Arg(771000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vorlix
