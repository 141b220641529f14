// A shell session on one remote object: runs input lines, calls the object's methods by name
// and prints their answers, runs SQL lines through the object's SQL methods, and runs the
// dot-commands (.help, .tables, .mode, .import ...).
#pragma once

#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "client/DispatchProxy.h"
#include "tools/shell/MethodList.h"
#include "tools/shell/Parser.h"
#include "tools/shell/RowFormat.h"

namespace vorlix::shell {

struct SessionOptions {
  bool echo = false;    // print each line before its answer ("> " before calls)
  bool strict = false;  // a call answering false (or Open failing) counts as failed
};

class Session {
 public:
  // The dot-commands, for help, completion and suggestions.
  static std::vector<std::string> CommandNames();

  // methods: the object's, from its type description; empty when that could not be read, and
  // then a call must give its out-parameters too (as empty).
  Session(DispatchProxy& object, std::vector<MethodInfo> methods, SessionOptions options,
          std::ostream& out, std::ostream& err);

  // Runs one line; answers go to out (or the file of .output), errors to err, each prefixed
  // with where (such as "demo.vsh:3: "). "!n" runs line n of the history again. A line that
  // begins an SQL statement without its ';' leaves it pending for the next lines. Returns
  // false when the line asked to quit, or failed while .bail is on.
  bool Run(std::string_view line, const std::string& where = "");

  // Whether an SQL statement waits for more lines.
  bool Continuing() const { return !sql_.empty(); }
  // Drops the pending SQL statement, as Ctrl-C at the terminal does.
  void DropPending() { sql_.clear(); }
  // The end of the input ends a pending SQL statement as its ';' would; the statement runs.
  void Finish(const std::string& where = "");

  // Whether any line failed: bad input, a failed HRESULT, a failed SQL line, or with strict a
  // false answer.
  bool Failed() const { return failures_ > 0; }

  // The object's method names, from its type description.
  std::vector<std::string> MethodNames() const;

  // The user tables of the open database (ListTables); none when no database is open or the
  // object has no such method.
  std::vector<std::string> TableNames();

 private:
  struct CommandInfo;
  static const CommandInfo kCommands[];
  using Words = std::vector<std::string>;

  // The user tables, into *names; false when the object answers none (no database open), the
  // reason then reported unless where is null.
  bool ListTables(std::vector<std::string>* names, const std::string* where);
  // The statements of a line without SQL; false to quit.
  bool RunStatements(const std::string& text, const std::string& where);
  // Adds text to the pending SQL and runs each statement it completes; false to quit.
  bool ContinueSql(const std::string& text, const std::string& where);
  void RunSql(const std::string& statement, const std::string& where);
  // Whether the object has the extension interface's cursor, whose column description names
  // every column of a statement's rows.
  bool HasCursor() const;
  // The rows of a statement through a cursor, read in batches and closed again (SqlCursor.cpp);
  // false, with the failure reported, when the statement or a batch failed.
  bool CursorRows(Bstr sql, ResultSet* rows, const std::string& where);
  void Call(const Statement& call, const std::string& where);
  // Whether a call answered the Boolean false: how methods report that they did not do it.
  static bool AnsweredFalse(const InvokeResult& result) {
    return result.result.vt() == VT_BOOL && !result.result.AsBool();
  }
  // Calls a method with the [in] values only; on a failed HRESULT reports it and answers false.
  bool CallMethod(const std::string& name, std::vector<Variant> ins, InvokeResult* result,
                  const std::string& where);
  // Why the last call answered false, from the object's error record: "error <code>:
  // <description>", or that none was recorded; "" when the object keeps no error record.
  std::string RecordedError();
  void Fail(const std::string& message);
  // Where answers go now: standard output, or the file of .output or .once.
  std::ostream& Out() { return file_.is_open() ? file_ : out_; }
  // Runs one statement (run answers false to quit): its answer goes to the file of a pending
  // .once, which then ends; with .timer on and timed, its time follows on err. A file that
  // cannot take the answer is reported and closed. False to quit, or when it failed while .bail
  // is on.
  bool RunOne(const std::function<bool()>& run, bool timed, const std::string& where);
  // Ends .once after the statement it was for.
  void EndOnce();

  // The dot-commands (Commands.cpp); each returns false to quit.
  bool Command(const Statement& command, const std::string& where);
  bool Help(const Words& words, const std::string& where);
  bool History(const Words& words, const std::string& where);
  bool Quit(const Words& words, const std::string& where);
  bool OpenFile(const Words& words, const std::string& where);
  bool Tables(const Words& words, const std::string& where);
  bool Schema(const Words& words, const std::string& where);
  bool Indexes(const Words& words, const std::string& where);
  bool Mode(const Words& words, const std::string& where);
  bool Headers(const Words& words, const std::string& where);
  bool Output(const Words& words, const std::string& where);
  bool Once(const Words& words, const std::string& where);
  bool Timer(const Words& words, const std::string& where);
  bool Bail(const Words& words, const std::string& where);
  bool Import(const Words& words, const std::string& where);  // Import.cpp
  // The user tables into *tables, or with a word the one it names in any letter case; false,
  // with the failure reported, when there are none to list or no table is so named.
  bool TablesNamed(const Words& words, std::vector<std::string>* tables, const std::string& where);
  // The fields of the current table (Structure); none when there is no current table.
  std::vector<std::string> FieldNames(const std::string& where);
  // Reads "on" or "off" into *flag; reports anything else.
  bool OnOff(const Words& words, const std::string& where, const char* command, bool* flag);
  // Sends answers to the file (truncated); reports when it cannot be written.
  bool OpenOutput(const std::string& path, const std::string& where);

  DispatchProxy& object_;
  std::vector<MethodInfo> methods_;
  SessionOptions options_;
  std::ostream& out_;
  std::ostream& err_;
  std::ofstream file_;
  std::string outputPath_;
  bool once_ = false;
  RowFormat format_;
  bool timer_ = false;
  bool bail_ = false;
  std::string sql_;
  std::vector<std::string> history_;
  size_t failures_ = 0;
};

}  // namespace vorlix::shell
