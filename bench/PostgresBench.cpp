// What a client waits for, Vorlix against PostgreSQL on the same machine, side by side in one
// run: each Vorlix call goes through the real server process (typed proxy over its socket), each
// PostgreSQL statement to a private PostgreSQL 15 cluster over its Unix socket through libpq,
// prepared once, the client decoding every value it gets back.
//
//   Seek of a 5-field record by its unique key  /  a prepared point select of the same record
//   Append of a 3-field record                  /  a prepared insert, synchronous_commit off
//   GetVorlixVersion                            /  a bare sd-bus call with an empty body to a
//                                                  peer that answers it and does nothing else
//
// Everything (this program, the servers it starts) runs pinned to one CPU: on a virtual machine
// wake-ups across CPUs make small calls bimodal. Rounds alternate which side goes first, and
// each figure is the median of the per-round ratios, which shrugs off a noisy neighbour.
//
// Run the release build: build/release/bench/postgres_bench [--rounds N] [--calls N] [--cpu N].
// The exit status is 1 when a call failed.
//
// On the shared 2-core machine (load 4, other builds running), ratios of four runs: Seek
// 1.68-1.82x (its server 85.6k instructions a call), Append 1.81-2.02x (138k), GetVorlixVersion
// 1.26-1.33x (14.8k, against 7.1k for the bare peer), about 38 us a call. Under load 10 wall
// times swing by 2x and the small calls' ratios by 4x: a system call costs 1 to 3 us there, so
// callgrind's instruction counts of the server are then the steadier guide.
#include <libpq-fe.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/SafeArray.h"
#include "bench/Pin.h"
#include "bench/PrivateServer.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "tests/support/PrivatePostgres.h"

namespace vorlix {
namespace {

constexpr int kKeys = 1000;  // records in the table a Seek reads

struct Options {
  int rounds = 15;
  int calls = 2000;  // per round and side; GetVorlixVersion makes five times as many
  int cpu = -1;      // -1: the last CPU this process may run on
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = atoi(argv[i + 1]);
    if (name == "--rounds") options.rounds = std::max(1, value);
    if (name == "--calls") options.calls = std::max(1, value);
    if (name == "--cpu") options.cpu = value;
  }
  return options;
}

// A peer in a process of its own that answers every method call with an empty reply, and its
// connection: the floor of any sd-bus call.
class EchoPeer {
 public:
  EchoPeer() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
      throw std::runtime_error("no socketpair");
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      Serve(fds[1]);
    }
    close(fds[1]);
    sd_bus_new(&bus_);
    if (pid_ < 0 || sd_bus_set_fd(bus_, fds[0], fds[0]) < 0 || sd_bus_start(bus_) < 0) {
      throw std::runtime_error("the echo peer cannot start");
    }
  }
  ~EchoPeer() {
    sd_bus_flush_close_unref(bus_);
    waitpid(pid_, nullptr, 0);
  }

  bool Call() {
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus_, nullptr, "/Vorlix/Echo", "Vorlix.Echo", "Ping", nullptr,
                                     &reply, nullptr);
    sd_bus_message_unref(reply);
    return r >= 0;
  }

 private:
  [[noreturn]] static void Serve(int fd) {
    sd_bus* bus = nullptr;
    sd_id128_t id;
    sd_id128_randomize(&id);
    if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 ||
        sd_bus_set_server(bus, 1, id) < 0 || sd_bus_add_filter(bus, nullptr, Answer, nullptr) < 0 ||
        sd_bus_start(bus) < 0) {
      _exit(1);
    }
    for (;;) {
      const int r = sd_bus_process(bus, nullptr);
      if (r < 0) _exit(0);  // the other end closed
      if (r == 0) sd_bus_wait(bus, UINT64_MAX);
    }
  }
  static int Answer(sd_bus_message* m, void*, sd_bus_error*) {
    if (!sd_bus_message_is_method_call(m, nullptr, nullptr)) return 0;
    sd_bus_reply_method_return(m, nullptr);
    return 1;
  }

  pid_t pid_ = -1;
  sd_bus* bus_ = nullptr;
};

void Exec(PGconn* pg, const char* sql) {
  PGresult* result = PQexec(pg, sql);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(pg));
}

void Prepare(PGconn* pg, const char* name, const char* sql, int params) {
  PGresult* result = PQprepare(pg, name, sql, params, nullptr);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) throw std::runtime_error(std::string(sql) + ": " + PQerrorMessage(pg));
}

void MakePostgresDatabase(PGconn* pg) {
  Exec(pg,
       "CREATE TABLE f (k integer PRIMARY KEY, a varchar(20), b double precision, c integer,"
       " d varchar(20));"
       "INSERT INTO f SELECT k, 'name ' || k, k * 0.5, k * 10, 'text ' || k"
       " FROM generate_series(1, 1000) AS k;"
       "CREATE TABLE g (name varchar(20), v double precision, n integer);"
       "SET synchronous_commit = off;");
  Prepare(pg, "seek", "SELECT k, a, b, c, d FROM f WHERE k = $1", 1);
  Prepare(pg, "append", "INSERT INTO g VALUES ($1, $2, $3)", 3);
}

// A record of f as a client holds it once decoded.
struct Record {
  int32_t k, c;
  double b;
  std::string a, d;
};

bool PostgresSeek(PGconn* pg, int key, Record* record) {
  char text[16];
  *std::to_chars(text, text + sizeof text - 1, key).ptr = '\0';
  const char* values[] = {text};
  PGresult* result = PQexecPrepared(pg, "seek", 1, values, nullptr, nullptr, 0);
  const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
  if (ok) {
    record->k = atoi(PQgetvalue(result, 0, 0));
    record->a = PQgetvalue(result, 0, 1);
    record->b = strtod(PQgetvalue(result, 0, 2), nullptr);
    record->c = atoi(PQgetvalue(result, 0, 3));
    record->d = PQgetvalue(result, 0, 4);
  }
  PQclear(result);
  return ok;
}

bool PostgresAppend(PGconn* pg, int n) {
  char v[32], count[16];
  snprintf(v, sizeof v, "%.17g", n * 0.5);
  *std::to_chars(count, count + sizeof count - 1, n).ptr = '\0';
  const char* values[] = {"appended", v, count};
  PGresult* result = PQexecPrepared(pg, "append", 3, values, nullptr, nullptr, 0);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  return ok;
}

Variant AppendedRecord(int n) {
  return Variant::Array(SafeArray::Vector(
      VT_VARIANT, 0,
      {Variant::Str(Bstr(u"Name")), Variant::Str(Bstr(u"appended")), Variant::Str(Bstr(u"V")),
       Variant::R8(n * 0.5), Variant::Str(Bstr(u"N")), Variant::I4(n)}));
}

// One comparison: each side makes `calls` calls numbered from 0 and answers whether all of
// them succeeded.
struct Work {
  const char* name;
  int calls;
  std::function<bool(int)> vorlix;
  std::function<bool(int)> reference;
  std::vector<double> vorlixTimes = {}, referenceTimes = {}, ratios = {};  // per round: us a call
};

// Microseconds per call of side over calls calls; negative when one failed.
double Time(const std::function<bool(int)>& side, int calls) {
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  for (int i = 0; i < calls; ++i)
    ok = side(i) && ok;
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  return ok ? took.count() / calls : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Run(const Options& options) {
  const int cpu = Pin(options.cpu);
  // Before anything else: the peer's process must hold no descriptor of what comes later.
  EchoPeer echo;
  PrivateServer server(VORLIX_SERVER_PATH);
  // The same data on both sides: table F (K, A, B, C, D) of kKeys records with K unique, and an
  // empty table G (Name, V, N) that the appends fill.
  const std::string database = server.CreateDatabase(
      "bench.vdb",
      "CREATE TABLE F (K LONG, A TEXT(20), B DOUBLE, C LONG, D TEXT(20));"
      "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 1000)"
      " INSERT INTO F SELECT k, 'name ' || k, k * 0.5, k * 10, 'text ' || k FROM n;"
      "CREATE UNIQUE INDEX ByK ON F (K);"
      "CREATE TABLE G (Name TEXT(20), V DOUBLE, N LONG);");
  PrivatePostgres cluster;
  std::unique_ptr<PGconn, decltype(&PQfinish)> pg(PQconnectdb(cluster.ConnInfo().c_str()),
                                                  PQfinish);
  if (PQstatus(pg.get()) != CONNECTION_OK) {
    throw std::runtime_error(std::string("cannot connect to PostgreSQL: ") +
                             PQerrorMessage(pg.get()));
  }
  MakePostgresDatabase(pg.get());

  std::unique_ptr<DBConnection> reader, writer;
  if (CreateObject("Vorlix.DBConnection", &reader) != S_OK ||
      CreateObject("Vorlix.DBConnection", &writer) != S_OK) {
    throw std::runtime_error("cannot create the Vorlix objects");
  }
  Bstr name;
  VARIANT_BOOL ok = VARIANT_FALSE;
  for (DBConnection* db : {reader.get(), writer.get()})
    db->Open(*Bstr::FromUtf8(database), VARIANT_FALSE, VARIANT_FALSE, &name);
  VARIANT_BOOL written = VARIANT_FALSE;
  reader->Table(Bstr(u"F"), Bstr(u"ByK"), &ok);
  writer->Table(Bstr(u"G"), Bstr(), &written);
  if (ok != VARIANT_TRUE || written != VARIANT_TRUE)
    throw std::runtime_error("cannot open the Vorlix tables");

  Record record;
  Variant out;
  std::vector<Work> works;
  works.push_back({"Seek 5 fields / point select", options.calls,
                   [&](int i) {
                     VARIANT_BOOL found = VARIANT_FALSE;
                     return reader->Seek(Variant::I4(i % kKeys + 1), &out, &found) == S_OK &&
                            found == VARIANT_TRUE;
                   },
                   [&](int i) { return PostgresSeek(pg.get(), i % kKeys + 1, &record); }});
  works.push_back({"Append 3 fields / insert", options.calls,
                   [&](int i) {
                     VARIANT_BOOL added = VARIANT_FALSE;
                     return writer->Append(AppendedRecord(i), VARIANT_FALSE, &out, &added) ==
                                S_OK &&
                            added == VARIANT_TRUE;
                   },
                   [&](int i) { return PostgresAppend(pg.get(), i); }});
  works.push_back({"GetVorlixVersion / sd-bus call", options.calls * 5,
                   [&](int) {
                     int16_t version = 0;
                     return reader->GetVorlixVersion(&version) == S_OK && version == 1;
                   },
                   [&](int) { return echo.Call(); }});

  // A first round, not counted, warms caches and both servers.
  for (int round = -1; round < options.rounds; ++round) {
    for (Work& work : works) {
      const bool vorlixFirst = round % 2 == 0;
      double v = 0, p = 0;
      if (vorlixFirst) v = Time(work.vorlix, work.calls);
      p = Time(work.reference, work.calls);
      if (!vorlixFirst) v = Time(work.vorlix, work.calls);
      if (v < 0 || p < 0) {
        fprintf(stderr, "%s: a %s call failed\n", work.name, v < 0 ? "Vorlix" : "reference");
        return 1;
      }
      if (round < 0) continue;
      work.vorlixTimes.push_back(v);
      work.referenceTimes.push_back(p);
      work.ratios.push_back(v / p);
    }
  }

  printf("pinned to CPU %d; %d rounds, medians\n\n", cpu, options.rounds);
  printf("%-32s %12s %12s %8s\n", "work (Vorlix / reference)", "Vorlix us", "reference us",
         "ratio");
  for (const Work& work : works) {
    printf("%-32s %12.2f %12.2f %7.2fx\n", work.name, Median(work.vorlixTimes),
           Median(work.referenceTimes), Median(work.ratios));
  }
  return 0;
}

}  // namespace
}  // namespace vorlix

int main(int argc, char** argv) {
  try {
    return vorlix::Run(vorlix::Parse(argc, argv));
  } catch (const std::exception& e) {
    fprintf(stderr, "postgres_bench: %s\n", e.what());
    return 1;
  }
}
