#include "tools/shell/LineEditor.h"

#include <fcntl.h>
#include <histedit.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vorlix::shell {
namespace {

constexpr int kHistorySize = 1000;
constexpr wchar_t kCtrlC = 3;

// Ctrl-C while a line is read wakes the reader through this pipe: a flag checked before a
// blocking read would miss a signal that lands between the check and the read.
int interruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = write(interruptPipe[1], "", 1);
  errno = saved;
}

// Makes each folder of path that is missing, private to the user.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Characters, not bytes: libedit counts wide characters.
int Characters(const std::string& text) {
  int count = 0;
  for (char c : text)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

LineEditor::LineEditor(const std::string& historyFile, Names names)
    : historyFile_(historyFile), names_(std::move(names)) {
  if (interruptPipe[0] < 0 && pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    interruptPipe[0] = interruptPipe[1] = -1;
  }
  history_ = history_init();
  HistEvent event;
  history(history_, &event, H_SETSIZE, kHistorySize);
  history(history_, &event, H_SETUNIQUE, 1);
  if (!historyFile_.empty()) {
    // Created private before libedit writes lines into it.
    const int fd = open(historyFile_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fchmod(fd, 0600);
      close(fd);
    }
    history(history_, &event, H_LOAD, historyFile_.c_str());
  }
  el_ = el_init("vorlix", stdin, stdout, stderr);
  el_set(el_, EL_CLIENTDATA, this);
  el_set(el_, EL_EDITOR, "emacs");
  el_set(el_, EL_PROMPT, &LineEditor::Prompt);
  el_set(el_, EL_HIST, history, history_);
  el_set(el_, EL_GETCFN, &LineEditor::GetChar);
  // The wide form: the narrow one copies the names into memory that libedit never frees.
  el_wset(el_, EL_ADDFN, L"vorlix-complete", L"complete the word at the cursor",
          &LineEditor::Complete);
  el_set(el_, EL_BIND, "^I", "vorlix-complete", nullptr);
  el_wset(el_, EL_ADDFN, L"vorlix-interrupt", L"drop the line", &LineEditor::Interrupt);
  el_set(el_, EL_BIND, "^C", "vorlix-interrupt", nullptr);
  el_source(el_, nullptr);  // the user's ~/.editrc, as other programs with libedit read it
}

LineEditor::~LineEditor() {
  el_end(el_);
  history_end(history_);
}

LineEditor::Read LineEditor::ReadLine(const std::string& prompt, std::string* line) {
  prompt_ = prompt;
  interrupted_ = false;
  // Only while a line is read: during a call Ctrl-C keeps its usual effect.
  struct sigaction action = {}, previous = {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  int count = 0;
  const char* text = el_gets(el_, &count);
  sigaction(SIGINT, &previous, nullptr);
  if (interrupted_) return Read::kInterrupted;
  if (!text || count <= 0) return Read::kEnd;
  line->assign(text, static_cast<size_t>(count));
  if (!line->empty() && line->back() == '\n') line->pop_back();
  return Read::kLine;
}

void LineEditor::AddHistory(const std::string& line) {
  HistEvent event;
  history(history_, &event, H_ENTER, line.c_str());
  if (!historyFile_.empty()) history(history_, &event, H_SAVE, historyFile_.c_str());
}

std::string LineEditor::DefaultHistoryFile() {
  std::string folder;
  if (const char* state = getenv("XDG_STATE_HOME"); state && *state == '/') {
    folder = std::string(state) + "/vorlix";
  } else if (const char* home = getenv("HOME"); home && *home == '/') {
    folder = std::string(home) + "/.local/state/vorlix";
  } else {
    return "";
  }
  return MakeFolders(folder) ? folder + "/history" : "";
}

LineEditor* LineEditor::Of(EditLine* el) {
  void* editor = nullptr;
  el_get(el, EL_CLIENTDATA, &editor);
  return static_cast<LineEditor*>(editor);
}

char* LineEditor::Prompt(EditLine* el) {
  return Of(el)->prompt_.data();
}

// Reads one character, decoding the locale's multibyte text; Ctrl-C arrives as its key.
int LineEditor::GetChar(EditLine* el, wchar_t* c) {
  LineEditor* editor = Of(el);
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {interruptPipe[0], POLLIN, 0}};
    if (poll(fds, interruptPipe[0] < 0 ? 1 : 2, -1) < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (fds[1].revents & POLLIN) {
      char drained[16];
      while (read(interruptPipe[0], drained, sizeof drained) > 0) {
      }
      editor->decoding_ = {};
      *c = kCtrlC;
      return 1;
    }
    char byte = 0;
    const ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    const size_t used = mbrtowc(c, &byte, 1, &editor->decoding_);
    if (used == static_cast<size_t>(-2)) continue;  // more bytes of this character follow
    if (used == static_cast<size_t>(-1)) {          // not text in this locale: the byte itself
      editor->decoding_ = {};
      *c = static_cast<unsigned char>(byte);
    }
    return 1;
  }
}

unsigned char LineEditor::Complete(EditLine* el, int) {
  LineEditor* editor = Of(el);
  const LineInfo* info = el_line(el);
  const std::string text(info->buffer, static_cast<size_t>(info->cursor - info->buffer));
  const WordAtCursor word = FindWordAtCursor(text);
  const std::string prefix = text.substr(word.start);
  const std::vector<std::string> matches = Matching(prefix, editor->names_(word.kind));
  if (matches.empty()) return CC_REFRESH_BEEP;
  std::string insert = CommonPrefix(matches);
  if (matches.size() == 1) insert += word.quoted ? "\" " : " ";
  if (insert.size() > prefix.size() || matches.size() == 1) {
    // The typed prefix is replaced, so that the name's letter case is the one kept.
    el_deletestr(el, Characters(prefix));
    el_insertstr(el, insert.c_str());
    return CC_REFRESH;
  }
  std::string list;
  for (const std::string& match : matches)
    list += (list.empty() ? "\n" : "  ") + match;
  fputs((list + "\n").c_str(), stdout);
  return CC_REDISPLAY;
}

// Marks the line "^C" at its end and ends it with a newline pushed as input, so that libedit
// finishes the line on screen as it finishes an entered one; ReadLine then drops it.
unsigned char LineEditor::Interrupt(EditLine* el, int) {
  const LineInfoW* line = el_wline(el);
  el_cursor(el, static_cast<int>(line->lastchar - line->cursor));
  el_insertstr(el, "^C");
  el_push(el, "\n");
  Of(el)->interrupted_ = true;
  return CC_REFRESH;
}

}  // namespace vorlix::shell
