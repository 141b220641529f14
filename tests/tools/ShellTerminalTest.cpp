// The vorlix program at a real pseudo-terminal, typed to as a person types: line editing,
// history kept between runs, completion and Ctrl-C, against the real server it starts itself.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tests/server/ServerProcess.h"

namespace vorlix {
namespace {

constexpr int kWaitMs = 10000;

class Terminal {
 public:
  // Starts vorlix in folder, a pseudo-terminal of 80 columns as its input and output.
  explicit Terminal(const std::string& folder) {
    winsize size = {};
    size.ws_row = 24;
    size.ws_col = 80;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      if (chdir(folder.c_str()) == 0) execl(VORLIX_SHELL_PATH, "vorlix", nullptr);
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Whether text appears in the output after what earlier waits have passed (10 s at most);
  // the next wait starts after it.
  bool WaitFor(const std::string& text, int waitMs = kWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      if (const size_t at = output_.find(text, seen_); at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
  }

  // Types a line once the prompt is shown, as a person waits for it: keys typed before the
  // editor reads them are the terminal's, and Ctrl-C among them would not reach the editor. The
  // editor draws its prompt a moment before it puts the terminal into raw mode, and keys typed in
  // that moment meet the line discipline (echoed twice; a Ctrl-D becomes a read of nothing that
  // the editor never sees). No person is that quick, but a busy machine can make the moment
  // long, so the test lets it pass.
  bool Line(const std::string& keys) {
    if (!WaitFor("vorlix> ")) return false;
    usleep(200000);
    Type(keys);
    return true;
  }

  // The shell's exit status once it ends, 128 + the signal that ended it, or -1 after 30 s: it
  // releases its object first, which a loaded machine may make slow.
  int WaitForExit() {
    for (int i = 0; i < 3 * kWaitMs / 10; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      // A full terminal would hold the shell up; once it is closed, reads fail at once.
      if (!ReadSome(10)) usleep(10000);
    }
    return -1;
  }

  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int timeoutMs) {
    pollfd fd = {master_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO once the shell has closed the terminal
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
  size_t seen_ = 0;
};

class ShellTerminalTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.Register()); }
  void TearDown() override { EXPECT_TRUE(folder_.ServerEnded()); }

  test::ServerFolder folder_;
  test::TempDir work_;
  test::ScopedEnv term_{"TERM", "xterm"};
  test::ScopedEnv state_{"XDG_STATE_HOME", work_.Path("state").c_str()};
};

TEST_F(ShellTerminalTest, EditsCompletesDropsLinesAndKeepsHistory) {
  {
    Terminal t(work_.dir().string());
    // Ctrl-A goes to the start of the line, so the dot lands before the command.
    ASSERT_TRUE(t.Line("help Skip\x01.\r"));
    ASSERT_TRUE(t.WaitFor("Skip(long iSkip) -> ")) << t.Output();
    // The up arrow recalls that line.
    ASSERT_TRUE(t.Line("\x1b[A\r"));
    ASSERT_TRUE(t.WaitFor("Skip(long iSkip) -> ")) << t.Output();
    ASSERT_TRUE(
        t.Line("CreateDatabase \"t.vdb\"; OpenForWrite \"t.vdb\"; CreateTable \"Customers\" "
               "[\"*RTLB*\", \"ID\", \"LONG\", false, empty, \"I\", true, true, \"*RTLE*\"]\r"));
    ASSERT_TRUE(t.WaitFor("bReadOnly: false\r\ntrue\r\n")) << t.Output();
    // Tab completes a method name, and a table name inside quotes, closing them.
    ASSERT_TRUE(t.Line("listt\t\r"));
    ASSERT_TRUE(t.WaitFor("pvTables:\r\n  \"Customers\"\r\n")) << t.Output();
    ASSERT_TRUE(t.Line("Exist \"Cus\t\r"));
    ASSERT_TRUE(t.WaitFor("true\r\nbExists: true\r\n")) << t.Output();
    ASSERT_TRUE(t.Line("sel\t42;\r"));  // SQL keywords complete too
    ASSERT_TRUE(t.WaitFor("\r\n42\r\n")) << t.Output();
    // Several names complete alike: Tab lists them, and the line stays to be finished.
    ASSERT_TRUE(t.Line("Seek\t"));
    ASSERT_TRUE(t.WaitFor("Seek  Seek2  Seek3  Seek10\r\n")) << t.Output();
    t.Type("\x15\r");  // Ctrl-U empties it
    // Ctrl-C drops the line being typed and the shell goes on.
    ASSERT_TRUE(t.Line("Close"));
    ASSERT_TRUE(t.WaitFor("Close"));
    t.Type("\x03");
    ASSERT_TRUE(t.WaitFor("^C\r\n")) << t.Output();
    ASSERT_TRUE(t.Line(".history\r"));
    ASSERT_TRUE(t.WaitFor("  5  Exist \"Customers\"\r\n  6  SELECT 42;\r\n  7  .history\r\n"))
        << t.Output();
    // An SQL statement goes on over lines up to its ';'; Ctrl-C drops all of it.
    ASSERT_TRUE(t.Line("SELECT 1,\r"));
    ASSERT_TRUE(t.WaitFor("   ...> "));
    t.Type("\x03");
    ASSERT_TRUE(t.WaitFor("^C\r\n")) << t.Output();
    ASSERT_TRUE(t.Line(".help Top\r"));
    ASSERT_TRUE(t.WaitFor("Top() -> ")) << t.Output();
    ASSERT_TRUE(t.Line("\x04"));  // Ctrl-D on an empty line ends the shell
    EXPECT_EQ(t.WaitForExit(), 0) << t.Output();
  }
  struct stat history = {};
  ASSERT_EQ(stat(work_.Path("state/vorlix/history").c_str(), &history), 0);
  EXPECT_EQ(history.st_mode & 0777, 0600u);
  // The next run recalls the last line of this one.
  Terminal t(work_.dir().string());
  ASSERT_TRUE(t.Line("\x1b[A\r"));
  ASSERT_TRUE(t.WaitFor("Top() -> ")) << t.Output();
  ASSERT_TRUE(t.Line("quit\r"));
  EXPECT_EQ(t.WaitForExit(), 0) << t.Output();
}

TEST_F(ShellTerminalTest, CtrlCCancelsTheStatementOfARunningCall) {
  Terminal t(work_.dir().string());
  ASSERT_TRUE(t.Line("CreateDatabase \"c.vdb\"; OpenForWrite \"c.vdb\"\r"));
  ASSERT_TRUE(t.WaitFor("true\r\nbReadOnly: false\r\n")) << t.Output();
  // Counts for hours unless stopped.
  ASSERT_TRUE(
      t.Line("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
             "SELECT count(*) FROM n;\r"));
  ASSERT_TRUE(t.WaitFor("FROM n;\r\n"));
  usleep(200000);  // as a person would, after the editor has left the terminal
  // A Ctrl-C that comes before the call has reached the server finds nothing to stop yet.
  bool cancelled = false;
  for (int i = 0; i < 50 && !cancelled; ++i) {
    t.Type("\x03");
    cancelled = t.WaitFor("error 3059: The statement was cancelled.\r\n", 200);
  }
  ASSERT_TRUE(cancelled) << t.Output();
  ASSERT_TRUE(t.Line("SELECT 6 * 7;\r"));
  ASSERT_TRUE(t.WaitFor("\r\n42\r\n")) << t.Output();
  ASSERT_TRUE(t.Line("quit\r"));
  EXPECT_EQ(t.WaitForExit(), 0) << t.Output();
}

}  // namespace
}  // namespace vorlix
