// A shell session on one remote object: runs input lines, calls the object's methods by name
// and prints their answers, and runs the dot-commands (.help, .history, .quit ...).
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "client/DispatchProxy.h"
#include "tools/shell/MethodList.h"
#include "tools/shell/Parser.h"

namespace vorlix::shell {

struct SessionOptions {
  bool echo = false;    // print each line before its answer ("> " before calls)
  bool strict = false;  // a call answering a Boolean false counts as failed
};

class Session {
 public:
  // The dot-commands, for help, completion and suggestions.
  static std::vector<std::string> CommandNames();

  // methods: the object's, from its type description; empty when that could not be read, and
  // then a call must give its out-parameters too (as empty).
  Session(DispatchProxy& object, std::vector<MethodInfo> methods, SessionOptions options,
          std::ostream& out, std::ostream& err);

  // Runs one line; answers go to out, errors to err, each prefixed with where (such as
  // "demo.vsh:3: "). "!n" runs line n of the history again. Returns false when the line asked
  // to quit.
  bool Run(std::string_view line, const std::string& where = "");

  // Whether any line failed: bad input, a failed HRESULT, or with strict a false answer.
  bool Failed() const { return failed_; }

  // The object's method names, from its type description.
  std::vector<std::string> MethodNames() const;

  // The user tables of the open database (ListTables); none when no database is open or the
  // object has no such method.
  std::vector<std::string> TableNames();

 private:
  struct CommandInfo;
  static const CommandInfo kCommands[];

  void Call(const Statement& call, const std::string& where);
  // Why the last call answered false, from the object's error record: "error <code>:
  // <description>", or that none was recorded; "" when the object keeps no error record.
  std::string RecordedError();
  // Runs a dot-command; returns false for .quit.
  bool Command(const Statement& command, const std::string& where);
  bool Help(const std::vector<std::string>& words, const std::string& where);
  bool History(const std::vector<std::string>& words, const std::string& where);
  bool Quit(const std::vector<std::string>& words, const std::string& where);
  void Fail(const std::string& message);

  DispatchProxy& object_;
  std::vector<MethodInfo> methods_;
  SessionOptions options_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> history_;
  bool failed_ = false;
};

}  // namespace vorlix::shell
