// Line editing at a terminal with libedit: a line with arrow keys and emacs keys, history kept
// from one run of the shell to the next, completion with Tab, and Ctrl-C to drop the line being
// typed. Only for a terminal: scripts and pipes are read as plain lines.
#pragma once

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "tools/shell/Completion.h"

typedef struct editline EditLine;
typedef struct history History;

namespace vorlix::shell {

class LineEditor {
 public:
  // The names a word of that kind may complete to.
  using Names = std::function<std::vector<std::string>(WordAtCursor::Kind)>;

  // Edits standard input on standard output. historyFile: where the history is loaded from and
  // kept (created 0600); "" keeps none.
  LineEditor(const std::string& historyFile, Names names);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  enum class Read { kLine, kInterrupted, kEnd };
  // Reads a line (without its newline) after prompt. kInterrupted when Ctrl-C dropped it, kEnd
  // at Ctrl-D on an empty line or when the terminal went away.
  Read ReadLine(const std::string& prompt, std::string* line);

  // Adds a line to the history and writes the history file.
  void AddHistory(const std::string& line);

  // $XDG_STATE_HOME/vorlix/history, else ~/.local/state/vorlix/history, its folders created
  // (0700); "" when neither variable is set or a folder cannot be made.
  static std::string DefaultHistoryFile();

 private:
  static char* Prompt(EditLine* el);
  static int GetChar(EditLine* el, wchar_t* c);
  static unsigned char Complete(EditLine* el, int key);
  static unsigned char Interrupt(EditLine* el, int key);
  static LineEditor* Of(EditLine* el);

  EditLine* el_ = nullptr;
  History* history_ = nullptr;
  std::string historyFile_;
  Names names_;
  std::string prompt_;
  std::mbstate_t decoding_{};
  bool interrupted_ = false;
};

}  // namespace vorlix::shell
