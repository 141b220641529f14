// Two servers of two users, standing for two machines, on one database of a PostgreSQL server:
// what one appends the other finds, one's write lock holds the other's writers off until it is
// released, and a server killed outright leaves no lock behind. The first server is this
// user's, started by activation; the second runs as "nobody" when the test runs as root (as in
// CI), else as this user with a runtime folder of its own. This process is the client of both.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "automation/SafeArray.h"
#include "client/CreateObject.h"
#include "client/TypedProxies.h"
#include "protocol/InterfaceTable.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/PrivatePostgres.h"
#include "tests/support/Values.h"

namespace vorlix {
namespace {

using test::B;
using test::Ok;

constexpr const char* kOtherUser = "nobody";

// The second machine's server, run directly as activation runs one, and killed and reaped at
// the end if it has not ended by itself.
class OtherServer {
 public:
  OtherServer() {
    const passwd* user = geteuid() == 0 ? getpwnam(kOtherUser) : nullptr;
    // The temporary folder is this user's own: the other needs a way through it to its own.
    const std::string home = temp_.Path("other");
    if ((geteuid() == 0 && !user) || chmod(temp_.dir().c_str(), 0711) != 0 ||
        mkdir(home.c_str(), 0700) != 0 ||
        (user && chown(home.c_str(), user->pw_uid, user->pw_gid) != 0)) {
      ADD_FAILURE() << "cannot prepare a folder for " << kOtherUser;
      return;
    }
    socket_ = home + "/run/server";
    const std::string runtime = home + "/run";
    pid_ = fork();
    if (pid_ == 0) {
      setenv("VORLIX_RUNTIME_DIR", runtime.c_str(), 1);
      if (user &&
          (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) {
        _exit(126);
      }
      execl(VORLIX_SERVER_PATH, VORLIX_SERVER_PATH, "-Embedding", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~OtherServer() { Kill(); }

  // A new connection object of this server over a connection of its own, once its socket
  // accepts one (within 10 s); nullptr when it does not.
  std::unique_ptr<DBConnection> Connect() const {
    for (int i = 0; i < 500; ++i) {
      sd_bus* bus = nullptr;
      sd_bus_new(&bus);
      BusRef ref(bus, [](sd_bus* b) { sd_bus_flush_close_unref(b); });
      std::unique_ptr<ClassObject> factory;
      std::unique_ptr<DBConnection> db;
      if (sd_bus_set_address(bus, ("unix:path=" + socket_).c_str()) >= 0 &&
          sd_bus_start(bus) >= 0) {
        const std::string clsid = kClasses[0].clsid.ToString();  // DBConnection
        EXPECT_EQ(ClassObject::Get(ref, clsid, &factory), S_OK);
        if (factory) {
          EXPECT_EQ(factory->CreateInstance(&db), S_OK);
        }
        return db;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the other server did not listen on " << socket_;
    return nullptr;
  }
  // Ends the server with SIGKILL, as a machine that fails would.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  test::TempDir temp_;
  std::string socket_;
  pid_t pid_ = -1;
};

Variant Array(std::initializer_list<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, elements));
}

Variant Person(int32_t id, const char16_t* name) {
  return Array({Variant::Str(u"ID"), Variant::I4(id), Variant::Str(u"Name"), Variant::Str(name)});
}

class TwoServersTest : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() == 0) cluster_.Admit(kOtherUser);
    ASSERT_TRUE(folder_.Register());
    ASSERT_EQ(CreateObject("Vorlix.DBConnection", &mine_), S_OK);
    const Bstr uri = B(cluster_.Uri("shared"));
    ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return mine_->CreateDatabase(uri, r); }));
    // People (ID, the primary key, and Name), read on the primary key on both sides.
    const Variant fields =
        Array({Variant::Str(u"*RTLB*"), Variant::Str(u"ID"), Variant::Str(u"LONG"),
               Variant::Bool(false), Variant(), Variant::Str(u"X"), Variant::Bool(true),
               Variant::Bool(true), Variant::Str(u"*RTLE*"), Variant::Str(u"*RTLB*"),
               Variant::Str(u"Name"), Variant::Str(u"TEXT"), Variant::I4(20), Variant::Bool(false),
               Variant(), Variant::Str(u"*RTLE*")});
    theirs_ = other_.Connect();
    ASSERT_NE(theirs_, nullptr);
    for (DBConnection* db : {mine_.get(), theirs_.get()}) {
      Bstr name;
      ASSERT_EQ(db->Open(uri, VARIANT_FALSE, VARIANT_FALSE, &name), S_OK);
      ASSERT_EQ(name, uri);
      if (db == mine_.get()) {
        ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db->CreateTable(u"People", fields, r); }));
      }
      ASSERT_TRUE(Ok([&](VARIANT_BOOL* r) { return db->Table(u"People", u"ID", r); }));
    }
  }
  void TearDown() override {
    mine_.reset();
    EXPECT_TRUE(folder_.ServerEnded());
  }

  // The Name of record id as db's Seek finds it; "none" when it finds none.
  static std::string NameOf(DBConnection& db, int32_t id) {
    Variant record;
    if (!Ok([&](VARIANT_BOOL* r) { return db.Seek(Variant::I4(id), &record, r); })) return "none";
    return record.AsArray().At(3).AsBstr().Utf8();
  }
  // The code of the error db's last call recorded; 0 while the flag is clear.
  static int32_t RecordedError(DBConnection& db) {
    VARIANT_BOOL flagged = VARIANT_FALSE;
    int32_t code = 0;
    Bstr description;
    EXPECT_EQ(db.IsDAOError(&flagged), S_OK);
    EXPECT_EQ(db.GetLastDAOError(&code, &description), S_OK);
    return flagged ? code : 0;
  }
  static bool Append(DBConnection& db, const Variant& values) {
    Variant stored;
    return Ok([&](VARIANT_BOOL* r) { return db.Append(values, VARIANT_FALSE, &stored, r); });
  }
  // Begins or commits db's transaction, a method of the extension interface.
  static bool Transaction(DBConnection& db, bool begin) {
    InvokeResult result;
    EXPECT_EQ(db.Invoke(begin ? "BeginTrans" : "CommitTrans", {}, &result), S_OK);
    return result.result == Variant::Bool(true);
  }

  PrivatePostgres cluster_;
  test::ServerFolder folder_;
  OtherServer other_;
  std::unique_ptr<DBConnection> mine_, theirs_;
};

// How long a writer retries against a held lock, and that it records nothing when it gives up,
// is the connection's, tested on the PostgreSQL store in process (tests/connection/records).
TEST_F(TwoServersTest, AnAppendIsFoundThereAWriteLockHoldsTheOtherOffAndAKilledServerLeavesNone) {
  ASSERT_TRUE(Append(*mine_, Person(1, u"Ann")));
  EXPECT_EQ(NameOf(*theirs_, 1), "Ann");
  ASSERT_TRUE(Append(*theirs_, Person(2, u"Bob")));
  EXPECT_EQ(NameOf(*mine_, 2), "Bob");

  // A transaction holds the write lock, as an edit does while it is being stored.
  ASSERT_TRUE(Transaction(*mine_, true));
  ASSERT_TRUE(Append(*mine_, Person(3, u"Cy")));
  EXPECT_EQ(NameOf(*theirs_, 3), "none");
  // Where nothing retries, the lock's own code comes back at once.
  EXPECT_FALSE(Transaction(*theirs_, true));
  EXPECT_EQ(RecordedError(*theirs_), 3260);
  ASSERT_TRUE(Transaction(*mine_, false));
  EXPECT_EQ(NameOf(*theirs_, 3), "Cy");

  ASSERT_TRUE(Transaction(*theirs_, true));
  ASSERT_TRUE(Append(*theirs_, Person(4, u"Di")));
  other_.Kill();
  theirs_.reset();
  // The Append's own retries wait for PostgreSQL to see the connection gone; that its record
  // goes in at all says that the killed transaction's record went with it.
  EXPECT_TRUE(Append(*mine_, Person(4, u"Bea")));
  EXPECT_EQ(NameOf(*mine_, 4), "Bea");
}

}  // namespace
}  // namespace vorlix
