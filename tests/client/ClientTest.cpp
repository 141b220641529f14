// The client library against the real server, which CreateObject starts itself: registry and
// runtime directory in a temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "automation/Dispatch.h"
#include "client/CancelCall.h"
#include "client/CreateObject.h"
#include "client/ServerStart.h"
#include "client/TypedProxies.h"
#include "connection/Connection.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Values.h"

namespace vorlix {
namespace {

class ClientTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.Register()); }
  // Every proxy is gone by now: the server started here must end by itself.
  void TearDown() override { EXPECT_TRUE(folder_.ServerEnded()); }
  static pid_t ServerPid(const DispatchProxy& object) {
    return test::PeerPid(sd_bus_get_fd(object.Bus()));
  }
  // Whether the process ends within 15 s. It is not this process's child: whoever adopted it
  // may leave it a zombie, which StillRuns counts as ended.
  static bool ProcessEnds(pid_t pid) {
    for (int i = 0; i < 750 && StillRuns(pid); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !StillRuns(pid);
  }
  // A connection object with the new database name of the runtime folder open for writing.
  std::unique_ptr<DBConnection> OpenNewDatabase(const std::string& name) {
    std::unique_ptr<DBConnection> db;
    EXPECT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
    if (!db) return db;
    const Bstr file = *Bstr::FromUtf8(folder_.RuntimeDirectory() + "/" + name);
    VARIANT_BOOL ok = VARIANT_FALSE, readOnly = VARIANT_FALSE;
    EXPECT_EQ(db->CreateDatabase(file, &ok), S_OK);
    EXPECT_EQ(db->OpenForWrite(file, &readOnly, &ok), S_OK);
    EXPECT_TRUE(ok);
    return db;
  }
  test::ServerFolder folder_;
};

TEST_F(ClientTest, CreateObjectStartsTheServerAndTheObjectAnswersIUnknownAndIDispatch) {
  std::unique_ptr<DispatchProxy> db;
  ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);
  InvokeResult result;
  EXPECT_EQ(db->Invoke("getVorlixVersion", {}, &result), S_OK);
  EXPECT_EQ(result.result, Variant::I2(1));
  EXPECT_EQ(db->QueryInterface(IID_IDispatch), S_OK);
  EXPECT_EQ(db->QueryInterface(*Guid::Parse("{62F71987-9EDD-49CB-ACFE-8B648D1EFDFD}")),
            E_NOINTERFACE);  // IDaoStatus

  // The reference AddRef takes is the connection's too: given back, the object stays.
  uint32_t count = 0;
  EXPECT_EQ(db->AddRef(&count), S_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(db->Release(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(db->Invoke("GetVorlixVersion", {}, &result), S_OK);
  EXPECT_EQ(db->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
}

// Typed proxies carry each parameter type in and out, every value arriving with its VARIANT
// type; a positional read the engine refuses answers S_FALSE and leaves its out parameter as
// the wire's initial value. The in-process suites test each method's corners, and every
// method's proxy is made from the same table by the same code.
TEST_F(ClientTest, TypedProxiesCarryEveryParameterTypeAndARefusedReadAnswersSFalse) {
  std::unique_ptr<DBConnection> db = OpenNewDatabase("people.vdb");
  ASSERT_TRUE(db);
  test::Sql(
      folder_.RuntimeDirectory() + "/people.vdb",
      "CREATE TABLE People (ID LONG, Name TEXT(20), Born DATETIME, Score DOUBLE);"
      "INSERT INTO People VALUES (1, 'Ann', '1950-02-03 00:00:00', 1.5), (2, 'Zoë', NULL, 2)");
  ASSERT_TRUE(test::Ok([&](VARIANT_BOOL* r) { return db->Table(u"People", u"", r); }));
  int16_t count = 0;
  EXPECT_TRUE(test::Ok([&](VARIANT_BOOL* r) { return db->GetFieldCount(&count, r); }));
  EXPECT_EQ(count, 4);
  std::vector<std::string> fields;
  for (int16_t i = 0; i < count; ++i) {
    Bstr name;
    Variant value;
    EXPECT_TRUE(test::Ok([&](VARIANT_BOOL* r) { return db->GetFieldName(i, &name, r); }));
    EXPECT_TRUE(test::Ok([&](VARIANT_BOOL* r) { return db->GetFieldValue(i, &value, r); }));
    fields.push_back(name.Utf8() + " " + test::Show(value));
  }
  EXPECT_EQ(fields,
            (std::vector<std::string>{"ID VT_I4 1", "Name VT_BSTR Ann", "Born VT_DATE 18297.000000",
                                      "Score VT_R8 1.500000"}));
  Variant record, born = Variant::Str(u"unwritten");
  EXPECT_TRUE(test::Ok([&](VARIANT_BOOL* r) { return db->Skip(1, &record, r); }));
  EXPECT_EQ(test::Elements(record).at(3), "VT_BSTR Zoë");
  EXPECT_TRUE(
      test::Ok([&](VARIANT_BOOL* r) { return db->GetFieldValueFromName(u"born", &born, r); }));
  EXPECT_EQ(test::Show(born), "VT_NULL");

  VARIANT_BOOL ok = 7;
  Variant value;
  EXPECT_EQ(db->GetFieldValue(9, &value, &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(test::Show(value), "VT_EMPTY");
  EXPECT_FALSE(test::Ok([&](VARIANT_BOOL* r) { return db->Table(u"Nowhere", u"", r); }));
  int32_t code = 0;
  Bstr description;
  EXPECT_EQ(db->GetLastDAOError(&code, &description), S_OK);
  EXPECT_EQ(std::to_string(code) + " " + description.Utf8(), "3078 There is no table 'Nowhere'.");
}

// Interrupted, the server closes the databases it holds before it ends: the write-ahead log
// lives while a database is open, and only a clean close removes it.
TEST_F(ClientTest, AnInterruptedServerClosesItsDatabasesBeforeItEnds) {
  std::unique_ptr<DBConnection> db = OpenNewDatabase("interrupted.vdb");
  ASSERT_TRUE(db);
  const std::string wal = folder_.RuntimeDirectory() + "/interrupted.vdb-wal";
  ASSERT_EQ(access(wal.c_str(), F_OK), 0);
  const pid_t server = ServerPid(*db);
  ASSERT_EQ(kill(server, SIGINT), 0);
  EXPECT_TRUE(ProcessEnds(server));
  EXPECT_NE(access(wal.c_str(), F_OK), 0);
}

TEST_F(ClientTest, CancelStopsTheStatementThatAnotherThreadWaitsOn) {
  std::unique_ptr<DBConnection> db = OpenNewDatabase("cancel.vdb");
  ASSERT_TRUE(db);
  VARIANT_BOOL ok = VARIANT_FALSE;
  bool cancelled = true;
  EXPECT_EQ(CancelCall(*db, &cancelled), S_OK) << LastClientError();
  EXPECT_FALSE(cancelled);  // nothing runs

  // Counts for hours unless stopped.
  Variant rows;
  std::thread call([&] {
    db->SQL(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) "
        u"FROM n",
        &rows, &ok);
  });
  // Asked again until the call has reached the server.
  for (int i = 0; i < 500 && !cancelled; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(CancelCall(*db, &cancelled), S_OK) << LastClientError();
  }
  call.join();
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(ok);
}

TEST_F(ClientTest, AMethodWaitsForItsAnswerHoweverLongItsWorkTakes) {
  // sd-bus's default bound, read once a process (each test runs in one of its own), made far
  // shorter than the statement below takes.
  setenv("SYSTEMD_BUS_TIMEOUT", "1s", 1);
  std::unique_ptr<DBConnection> db = OpenNewDatabase("long.vdb");
  ASSERT_TRUE(db);
  VARIANT_BOOL ok = VARIANT_FALSE;
  const auto start = std::chrono::steady_clock::now();
  Variant rows;
  ASSERT_EQ(db->SQL(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                    u"WHERE i < 5000000) SELECT count(*) FROM n",
                    &rows, &ok),
            S_OK)
      << LastClientError();
  EXPECT_TRUE(ok);
  // Only a statement that outlasted the bound shows anything.
  if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
    GTEST_SKIP() << "the statement ended within sd-bus's bound";
  }
}

// A result-set array read through the server, which writes its elements as it makes them and
// packs them for this client, is the one a connection in this process reads: every kind of
// value, text beyond ASCII, Null, one field, no rows, and one that takes megabytes of its reply.
TEST_F(ClientTest, AResultReadThroughTheServerIsTheOneReadInProcess) {
  std::unique_ptr<DBConnection> db = OpenNewDatabase("results.vdb");
  ASSERT_TRUE(db);
  const std::string path = folder_.RuntimeDirectory() + "/results.vdb";
  test::Sql(path,
            "CREATE TABLE T (K LONG, Name TEXT(20), V DOUBLE, B LONGBINARY);"
            "INSERT INTO T VALUES (1, 'Grüße ☃ 𝄞', 0.5, X'00ff'), (2, NULL, NULL, NULL);"
            "CREATE TABLE Many (K LONG, Name TEXT(20));"
            "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 20000)"
            " INSERT INTO Many SELECT k, 'name ' || k FROM n;");
  CDBConnection local;
  Bstr opened;
  ASSERT_EQ(local.Open(*Bstr::FromUtf8(path), VARIANT_FALSE, VARIANT_FALSE, &opened), S_OK);
  for (const char16_t* sql :
       {u"SELECT * FROM T", u"SELECT Name FROM T", u"SELECT K FROM T WHERE K > 2",
        u"SELECT K, Name AS [Näme] FROM Many"}) {
    SCOPED_TRACE(Bstr(sql).Utf8());
    Variant remote, here;
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(db->SQL(sql, &remote, &ok), S_OK) << LastClientError();
    EXPECT_TRUE(ok);
    ASSERT_EQ(local.SQL(sql, &here, &ok), S_OK);
    EXPECT_TRUE(ok);
    EXPECT_EQ(remote, here);
  }
}

TEST_F(ClientTest, ClientsStartingAtOnceGetOneServer) {
  std::unique_ptr<DispatchProxy> objects[4];
  HRESULT results[4];
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] { results[i] = CreateObject("Vorlix.DBConnection", &objects[i]); });
  }
  for (std::thread& t : threads)
    t.join();
  // Each is served, by one process, under a path of its own.
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(results[i], S_OK);
    EXPECT_EQ(ServerPid(*objects[i]), ServerPid(*objects[0]));
    for (int j = 0; j < i; ++j)
      EXPECT_NE(objects[i]->Path(), objects[j]->Path());
  }
}

// A relative name is taken from the folder the client is in when it makes the call: after a
// chdir between calls too, and for a link's file, named when linking but opened by later SQL.
TEST_F(ClientTest, RelativeFileNamesAreTheCallersOwnAtEachCall) {
  std::unique_ptr<DBConnection> db;
  ASSERT_EQ(CreateObject("Vorlix.DBConnection", &db), S_OK);  // the server starts here
  char* started = get_current_dir_name();
  const std::string a = folder_.RuntimeDirectory() + "/a", b = folder_.RuntimeDirectory() + "/b";
  ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(b.c_str(), 0700), 0);
  VARIANT_BOOL made = VARIANT_FALSE, table = VARIANT_FALSE, linked = VARIANT_FALSE,
               created = VARIANT_FALSE, readInB = VARIANT_TRUE, readInA = VARIANT_FALSE, ok;
  Bstr name;
  Variant rows;
  EXPECT_EQ(chdir(a.c_str()), 0);
  db->CreateDatabase(u"source.vdb", &made);
  db->Open(u"source.vdb", VARIANT_FALSE, VARIANT_FALSE, &name);
  db->Command(u"CREATE TABLE T (K LONG)", &table);
  db->Close(&ok);
  EXPECT_EQ(chdir(b.c_str()), 0);
  db->CreateDatabase(u"linking.vdb", &made);
  EXPECT_EQ(chdir(a.c_str()), 0);
  db->Open(Bstr::FromUtf8(b + "/linking.vdb").value(), VARIANT_FALSE, VARIANT_FALSE, &name);
  db->LinkTable(u"L", u"source.vdb", u"T", &created, &linked);
  EXPECT_EQ(chdir(b.c_str()), 0);
  db->SQL(u"SELECT K FROM L", &rows, &readInB);  // b has no source.vdb
  EXPECT_EQ(chdir(a.c_str()), 0);
  db->SQL(u"SELECT K FROM L", &rows, &readInA);
  EXPECT_EQ(chdir(started), 0);
  free(started);
  EXPECT_TRUE(made && table && linked && readInA);
  EXPECT_FALSE(readInB);
  EXPECT_EQ(access((b + "/linking.vdb").c_str(), F_OK), 0);
  EXPECT_NE(access((b + "/source.vdb").c_str(), F_OK), 0);
}

TEST_F(ClientTest, LockOrNewObjectKeepsTheIdleServerUntilTheLastRelease) {
  std::unique_ptr<ClassObject> factory;
  ASSERT_EQ(GetClassObject("Vorlix.DBConnection", &factory), S_OK);
  EXPECT_EQ(factory->LockServer(false), E_FAIL);
  ASSERT_EQ(factory->LockServer(true), S_OK);
  // Past the idle time-out and pause of the server, which has never had an object: the lock
  // alone has kept it, as an instance over the same connection shows.
  std::this_thread::sleep_for(std::chrono::seconds(7));
  std::unique_ptr<DispatchProxy> first;
  ASSERT_EQ(factory->CreateInstance(&first), S_OK);
  EXPECT_EQ(factory->LockServer(false), S_OK);
  factory.reset();
  const pid_t server = ServerPid(*first);
  const std::string firstPath = first->Path();
  first.reset();

  // An object created inside the idle period that follows keeps the same process well past
  // the end that period would have had, and the process ends after that object's release.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::unique_ptr<DispatchProxy> second;
  ASSERT_EQ(CreateObject("Vorlix.DBConnection", &second), S_OK);
  EXPECT_EQ(ServerPid(*second), server);
  EXPECT_NE(second->Path(), firstPath);  // never reused within the process
  std::this_thread::sleep_for(std::chrono::seconds(7));
  InvokeResult result;
  EXPECT_EQ(second->Invoke("GetVorlixVersion", {}, &result), S_OK);
  second.reset();
  EXPECT_TRUE(ProcessEnds(server));
}

// --status asks without starting a server, and names the one that runs with what it holds.
TEST_F(ClientTest, StatusTellsNoServerOrTheOneThatRunsWithItsClientsObjectsAndDatabases) {
  const std::string uid = std::to_string(geteuid());
  const test::Finished none = test::RunCapturing(VORLIX_SERVER_PATH, {"--status"});
  EXPECT_EQ(none.code, 3);
  EXPECT_EQ(none.out,
            "no server runs for uid " + uid + ": none listens on " + folder_.SocketPath() + "\n");
  EXPECT_NE(access(folder_.SocketPath().c_str(), F_OK), 0);

  std::unique_ptr<DBConnection> db = OpenNewDatabase("status.vdb"), closed;
  ASSERT_TRUE(db);
  std::unique_ptr<DispatchProxy> status;
  ASSERT_EQ(CreateObject("Vorlix.DBConnection", &closed), S_OK);
  ASSERT_EQ(CreateObject("Vorlix.DaoStatus", &status), S_OK);
  std::unique_ptr<ClassObject> factory;
  ASSERT_EQ(GetClassObject("Vorlix.DBConnection", &factory), S_OK);
  ASSERT_EQ(factory->LockServer(true), S_OK);
  const test::Finished run = test::RunCapturing(VORLIX_SERVER_PATH, {"--status"});
  EXPECT_EQ(run.code, 0) << run.err;
  const std::regex first("a server runs for uid " + uid + ": pid " +
                         std::to_string(ServerPid(*db)) + R"(, up 0:00:0\d\n)");
  const size_t line = run.out.find('\n') + 1;
  EXPECT_TRUE(std::regex_match(run.out.substr(0, line), first)) << run.out;
  EXPECT_EQ(run.out.substr(line), "socket: " + folder_.SocketPath() +
                                      "\nclients: 4\nobjects: 3\nlocks: 1\nopen databases: 1\n  " +
                                      folder_.RuntimeDirectory() + "/status.vdb\n");
  EXPECT_EQ(factory->LockServer(false), S_OK);
}

}  // namespace
}  // namespace vorlix
