// The engine against a second process: exclusive opens hold across processes, and a cursor sees
// the other process's writes. A pending record's lock is SQLite's write lock, the same between
// processes as between the two users of LockingTest. Changes surviving a killed process are
// checked against the killed server (tests/python/crash_test.py).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/engine/EngineTestSupport.h"

namespace vorlix::test {
namespace {

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
      args.insert(args.begin(), ENGINE_HELPER);
      std::vector<char*> argv;
      for (std::string& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(ENGINE_HELPER, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  // Ends the helper at once, without letting it close anything.
  ~Helper() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdin_ >= 0) close(stdin_);
    close(stdout_);
  }

  // The next line the helper printed ("" once it has ended).
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(stdout_, &c, 1) == 1 && c != '\n')
      line += c;
    return line;
  }

  // Sends a line to the helper and returns its answer.
  std::string Send(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    return ReadLine();
  }

  // Closes the helper's standard input and returns the last line it prints before it ends.
  std::string Finish() {
    close(stdin_);
    stdin_ = -1;
    return ReadLine();
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

class SecondProcess : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabase(path_); }

  TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
};

const std::string kCannotOpen = std::to_string(dao_error::kCannotOpen);

TEST_F(SecondProcess, AnExclusiveOpenExcludesEveryOpenOfAnotherProcess) {
  CDaoDatabase db;
  {
    Helper holder({"sql", path_, "exclusive"});
    ASSERT_EQ(holder.ReadLine(), "0");
    EXPECT_EQ(DaoCode([&] { db.Open(B(path_)); }), dao_error::kCannotOpen);
    EXPECT_EQ(DaoCode([&] { db.Open(B(path_), false, true); }), dao_error::kCannotOpen);
    EXPECT_EQ(DaoCode([&] { db.Open(B(path_), true, false); }), dao_error::kCannotOpen);
    EXPECT_EQ(holder.Finish(), "");
  }
  {
    // Nor can an exclusive open share the file with another process.
    Helper user({"sql", path_});
    ASSERT_EQ(user.ReadLine(), "0");
    EXPECT_EQ(DaoCode([&] { db.Open(B(path_), true, false); }), dao_error::kCannotOpen);
    EXPECT_EQ(user.Finish(), "");
  }
  db.Open(B(path_), true, false);
  EXPECT_EQ(db.GetTableDefCount(), 5);  // the exclusive holder works normally
  EXPECT_EQ(Helper({"sql", path_}).ReadLine(), kCannotOpen);
  EXPECT_EQ(Helper({"sql", path_, "exclusive"}).ReadLine(), kCannotOpen);
  db.Close();
  EXPECT_EQ(Helper({"sql", path_}).ReadLine(), "0");
}

// A cursor walking an index sees the rows another process adds ahead of it and not the ones
// it deletes, goes on from the key of a current record deleted under it, and never holds a
// lock that would stop that process.
TEST_F(SecondProcess, ACursorWalksWhileAnotherProcessWrites) {
  Sql(path_,
      "CREATE TABLE Log (N LONG); CREATE INDEX ByN ON Log (N);"
      "INSERT INTO Log VALUES (10), (20), (30), (40)");
  CDaoDatabase db;
  db.Open(B(path_));
  CDaoRecordset rs(&db);
  rs.Open(dbOpenTable, u"Log");
  rs.SetCurrentIndex(u"ByN");
  Helper writer({"sql", path_});
  ASSERT_EQ(writer.ReadLine(), "0");
  auto run = [&](const std::string& sql) { EXPECT_EQ(writer.Send(sql), "0") << sql; };
  Lines seen = {Text(rs.GetFieldValue(0))};
  run("INSERT INTO Log VALUES (15)");
  run("DELETE FROM Log WHERE N = 20");
  rs.MoveNext();
  seen.push_back(Text(rs.GetFieldValue(0)));
  run("INSERT INTO Log VALUES (5)");  // behind the cursor: not met going forward
  run("INSERT INTO Log VALUES (35)");
  rs.Move(2);
  seen.push_back(Text(rs.GetFieldValue(0)));
  run("DELETE FROM Log WHERE N = 35");  // the current record
  rs.MovePrev();
  seen.push_back(Text(rs.GetFieldValue(0)));
  run("DELETE FROM Log WHERE N = 40");
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(seen, (Lines{"10", "15", "35", "30"}));
  rs.MoveFirst();
  EXPECT_EQ(Text(rs.GetFieldValue(0)), "5");
  EXPECT_EQ(rs.GetRecordCount(), 4);
}

}  // namespace
}  // namespace vorlix::test
