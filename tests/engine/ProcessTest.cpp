// The engine against a second process: exclusive opens hold across processes, and a stored
// change survives the process being killed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EngineTestSupport.h"

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
