// The engine against a second process: exclusive opens hold across processes, a stored
// change survives the process being killed, a pending edit locks the other process out, and a
// cursor sees the other process's writes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineTestSupport.h"
#include "engine/Recordset.h"

namespace vorlix {
namespace {

using test::B;
using test::DaoCode;
using test::Sql;

// The helper program running one command, with a pipe to its standard input and one from its
// standard output.
class Helper {
 public:
  explicit Helper(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      std::vector<char*> argv;
      const std::string helper = test::HelperPath();
      argv.push_back(const_cast<char*>(helper.c_str()));
      for (std::string& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(helper.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~Helper() {
    CloseInput();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(stdout_);
  }

  // The next line the helper printed ("" at its end).
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(stdout_, &c, 1) == 1 && c != '\n')
      line += c;
    return line;
  }

  int Input() const { return stdin_; }

  void CloseInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }

  // Waits for the helper to end by itself.
  void Wait() {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

TEST(SecondProcess, ExclusiveOpenHoldsAcrossProcesses) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  {
    Helper holder({"hold", path});
    ASSERT_EQ(holder.ReadLine(), "ready");
    CDaoDatabase db;
    EXPECT_EQ(DaoCode([&] { db.Open(B(path)); }), dao_error::kCannotOpen);
    EXPECT_EQ(DaoCode([&] { db.Open(B(path), false, true); }), dao_error::kCannotOpen);
    holder.CloseInput();
    holder.Wait();
    db.Open(B(path));
    EXPECT_TRUE(db.CanUpdate());
  }
  CDaoDatabase mine;
  mine.Open(B(path), true, false);
  Helper other({"open", path});
  EXPECT_EQ(other.ReadLine(), std::to_string(dao_error::kCannotOpen));
  mine.Close();
  Helper later({"open", path});
  EXPECT_EQ(later.ReadLine(), "0");
}

TEST(SecondProcess, StoredChangesSurviveAKilledProcess) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  Sql(path, "CREATE TABLE Log (N LONG)");
  Helper writer({"insert", path, "200"});
  std::string last;
  for (std::string line = writer.ReadLine(); !line.empty(); line = writer.ReadLine()) {
    last = line;
    if (line == "200") break;
  }
  ASSERT_EQ(last, "200");
  writer.Kill();  // no close, no checkpoint: the rows are only in the WAL
  EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
  CDaoDatabase db;
  db.Open(B(path));
  EXPECT_EQ(Sql(path, "SELECT count(*), sum(N) FROM Log"), std::vector<std::string>{"200|20100"});
}

}  // namespace
}  // namespace vorlix

namespace vorlix {
namespace {

// A pending edit in another process keeps this one's writers out until it is stored.
TEST(SecondProcess, APendingEditLocksOutAnotherProcess) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  Sql(path, "CREATE TABLE T (Name TEXT(10)); INSERT INTO T VALUES ('Ann')");
  Helper editor({"edit", path, "T", "Name", "Theirs"});
  ASSERT_EQ(editor.ReadLine(), "0");
  CDaoDatabase db;
  db.Open(B(path));
  CDaoRecordset rs(&db);
  rs.Open(dbOpenTable, u"T");
  EXPECT_EQ(DaoCode([&] { rs.Edit(); }), dao_error::kRecordLocked);
  EXPECT_EQ(DaoCode([&] { rs.AddNew(); }), dao_error::kRecordLocked);
  editor.CloseInput();
  EXPECT_EQ(editor.ReadLine(), "0");
  rs.Edit();
  EXPECT_EQ(rs.GetFieldValue(u"Name").AsBstr().Utf8(), "Theirs");
  rs.SetFieldValue(u"Name", Bstr(u"Mine"));
  rs.Update();
  EXPECT_EQ(Sql(path, "SELECT Name FROM T"), std::vector<std::string>{"Mine"});
}

// A cursor walking an index sees the rows another process adds ahead of it and not the ones
// it deletes, without ever holding a lock that would stop that process.
TEST(SecondProcess, ACursorWalksWhileAnotherProcessWrites) {
  test::TempDir dir;
  const std::string path = dir.Path("db.vdb");
  test::CreateDatabase(path);
  Sql(path,
      "CREATE TABLE Log (N LONG); CREATE INDEX ByN ON Log (N);"
      "INSERT INTO Log VALUES (10), (20), (30), (40)");
  CDaoDatabase db;
  db.Open(B(path));
  CDaoRecordset rs(&db);
  rs.Open(dbOpenTable, u"Log");
  rs.SetCurrentIndex(u"ByN");
  Helper writer({"sql", path});
  auto run = [&](const std::string& sql) {
    EXPECT_EQ(write(writer.Input(), (sql + "\n").data(), sql.size() + 1),
              static_cast<ssize_t>(sql.size() + 1));
    EXPECT_EQ(writer.ReadLine(), "0") << sql;
  };
  std::vector<int64_t> seen;
  seen.push_back(rs.GetFieldValue(0).AsSigned());
  run("INSERT INTO Log VALUES (15)");
  run("DELETE FROM Log WHERE N = 20");
  rs.MoveNext();
  seen.push_back(rs.GetFieldValue(0).AsSigned());
  run("INSERT INTO Log VALUES (5)");  // behind the cursor: not met going forward
  run("INSERT INTO Log VALUES (35)");
  rs.Move(2);
  seen.push_back(rs.GetFieldValue(0).AsSigned());
  run("DELETE FROM Log WHERE N = 40");
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(seen, (std::vector<int64_t>{10, 15, 35}));
  rs.MoveFirst();
  EXPECT_EQ(rs.GetFieldValue(0).AsSigned(), 5);
  EXPECT_EQ(rs.GetRecordCount(), 5);
}

}  // namespace
}  // namespace vorlix
