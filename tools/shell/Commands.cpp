// The shell's dot-commands.
#include <algorithm>

#include "automation/AsciiCase.h"
#include "automation/SafeArray.h"
#include "tools/shell/Printer.h"
#include "tools/shell/Session.h"
#include "tools/shell/Suggest.h"
#include "tools/shell/Table.h"

namespace vorlix::shell {
namespace {

std::string SqlString(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + '\'';
}

}  // namespace

struct Session::CommandInfo {
  const char* name;
  const char* usage;  // the arguments, for .help
  const char* what;
  bool (Session::*run)(const Words& words, const std::string& where);
  size_t maxWords;
};

const Session::CommandInfo Session::kCommands[] = {
    {"bail", "on|off", "stop at the first failure", &Session::Bail, 1},
    {"headers", "on|off", "whether the rows of SQL lines start with the field names",
     &Session::Headers, 1},
    {"help", "[method]", "list the methods and commands, or show one method", &Session::Help, 1},
    {"history", "", "list the lines of this session; !n runs line n again", &Session::History, 0},
    {"import", "FILE TABLE", "append the rows of a CSV file whose header row names the fields",
     &Session::Import, 2},
    {"indexes", "[TABLE]", "list the indexes of the tables, or of one table", &Session::Indexes, 1},
    {"mode", "table|csv|tsv|json|line", "how the rows of SQL lines are shown", &Session::Mode, 1},
    {"once", "FILE", "write the answer of the next statement to FILE", &Session::Once, 1},
    {"open", "FILE", "open a database file for reading and writing, as Open FILE false false",
     &Session::OpenFile, 1},
    {"output", "[FILE]", "write answers to FILE; without one, to the screen again",
     &Session::Output, 1},
    {"quit", "", "end the shell (so do exit and quit)", &Session::Quit, 0},
    {"schema", "[TABLE]", "the statements that define the tables, or one table", &Session::Schema,
     1},
    {"tables", "", "list the tables of the open database", &Session::Tables, 0},
    {"timer", "on|off", "show how long each call and SQL statement takes", &Session::Timer, 1},
};

std::vector<std::string> Session::CommandNames() {
  std::vector<std::string> names;
  for (const CommandInfo& command : kCommands)
    names.push_back(command.name);
  return names;
}

bool Session::Command(const Statement& command, const std::string& where) {
  for (const CommandInfo& info : kCommands) {
    if (command.name != info.name) continue;
    if (command.words.size() > info.maxWords) {
      Fail(where + "usage: ." + info.name + " " + info.usage);
      return true;
    }
    return (this->*info.run)(command.words, where);
  }
  Fail(where + "unknown command ." + command.name + DidYouMean(command.name, CommandNames(), ".") +
       " (.help lists the commands)");
  return true;
}

bool Session::Help(const Words& words, const std::string& where) {
  if (words.size() == 1) {
    if (const MethodInfo* method = FindMethod(methods_, words[0])) {
      Out() << Signature(*method) << '\n';
    } else {
      Fail(where + "no method " + words[0] + " in the type description" +
           DidYouMean(words[0], MethodNames(), ""));
    }
    return true;
  }
  std::ostream& out = Out();
  out << "One call a line: Method arg arg ... (several separated by ';'). Arguments:\n"
         "  \"text\" (\"\" inside for a quote), 42, -1.5, 2e3, true, false, null, empty,\n"
         "  #2024-01-31#, #2024-01-31 13:45:00#, [\"an\", \"array\", 1]\n"
         "Out-parameters are left out; their values are printed after the result.\n"
         "A line that begins with SELECT, INSERT, UPDATE, DELETE, CREATE, DROP, ALTER or WITH\n"
         "is SQL and runs up to its ';', over several lines if need be.\n"
         "Commands:\n";
  for (const CommandInfo& info : kCommands) {
    const std::string head = std::string(".") + info.name + (*info.usage ? " " : "") + info.usage;
    out << "  " << head << std::string(head.size() < 32 ? 32 - head.size() : 1, ' ') << info.what
        << '\n';
  }
  if (methods_.empty()) {
    out << "The object's type description could not be read; give out-parameters as empty.\n";
    return true;
  }
  out << "Methods:\n";
  for (const MethodInfo& method : methods_)
    out << "  " << Signature(method) << '\n';
  return true;
}

bool Session::History(const Words&, const std::string&) {
  for (size_t i = 0; i < history_.size(); ++i)
    Out() << "  " << i + 1 << "  " << history_[i] << '\n';
  return true;
}

bool Session::Quit(const Words&, const std::string&) {
  return false;
}

bool Session::OpenFile(const Words& words, const std::string& where) {
  const std::optional<Bstr> file = words.empty() ? std::nullopt : Bstr::FromUtf8(words[0]);
  if (!file) {
    Fail(where + "usage: .open FILE");
    return true;
  }
  Statement open;
  open.name = "Open";
  open.args = {Variant::Str(*file), Variant::Bool(false), Variant::Bool(false)};
  Call(open, where);
  return true;
}

bool Session::Tables(const Words&, const std::string& where) {
  std::vector<std::string> names;
  if (!ListTables(&names, &where)) return true;
  for (const std::string& name : names)
    Out() << name << '\n';
  return true;
}

bool Session::TablesNamed(const Words& words, std::vector<std::string>* tables,
                          const std::string& where) {
  if (!ListTables(tables, &where)) return false;
  if (words.empty()) return true;
  const auto named = std::find_if(tables->begin(), tables->end(),
                                  [&](const std::string& t) { return EqualNoCase(t, words[0]); });
  if (named == tables->end()) {
    Fail(where + "no table " + words[0] + DidYouMean(words[0], *tables, ""));
    return false;
  }
  *tables = {*named};
  return true;
}

// The definitions come from the database file's own catalogue, read with SQL: they are what
// other programs reading the file see.
bool Session::Schema(const Words& words, const std::string& where) {
  std::vector<std::string> tables;
  if (!TablesNamed(words, &tables, where)) return true;
  for (const std::string& table : tables) {
    const std::optional<Bstr> sql = Bstr::FromUtf8(
        "SELECT sql FROM sqlite_master WHERE type IN ('table', 'index') AND sql IS NOT NULL "
        "AND tbl_name = " +
        SqlString(table) + " ORDER BY type = 'index', name");
    InvokeResult result;
    if (!sql || !CallMethod("SQL", {Variant::Str(*sql)}, &result, where)) return true;
    if (AnsweredFalse(result)) {
      Fail(where + "cannot read the definition of " + table + ": " + RecordedError());
      return true;
    }
    if (result.outs.size() != 1) continue;
    for (const std::vector<Variant>& row : QueryRows(result.outs[0]).rows)
      Out() << PlainText(row[0]) << ";\n";
  }
  return true;
}

// The object reports the indexes of its current table only, so each table is made current in
// turn: Table without an index name keeps a table's index and position. Then the table that was
// current is made current again, and a table opened here stays open behind it; when none was
// open, all are closed again.
bool Session::Indexes(const Words& words, const std::string& where) {
  std::vector<std::string> tables;
  if (!TablesNamed(words, &tables, where)) return true;
  InvokeResult current, none;
  if (!CallMethod("GetCurrentTable", {}, &current, where) ||
      !CallMethod("TableIsReady", {}, &none, where)) {
    return true;
  }
  std::vector<std::vector<std::string>> lines;
  for (const std::string& table : tables) {
    InvokeResult made, listed;
    if (!CallMethod("Table", {Variant::Str(Bstr::FromUtf8Lossy(table)), Variant::Str(Bstr())},
                    &made, where) ||
        !CallMethod("ListIndexes", {}, &listed, where)) {
      break;
    }
    if (AnsweredFalse(made) || AnsweredFalse(listed) || listed.outs.size() != 1 ||
        !listed.outs[0].IsArray() || listed.outs[0].AsArray().ElementType() != VT_VARIANT) {
      const std::string reason = RecordedError();
      Fail(where + "cannot list the indexes of " + table + (reason.empty() ? "" : ": " + reason));
      continue;
    }
    for (const Variant& index : listed.outs[0].AsArray().Elements()) {
      if (words.empty()) {
        lines.push_back({table, PlainText(index)});
      } else {
        lines.push_back({PlainText(index)});
      }
    }
  }
  InvokeResult restored;
  if (none.result.vt() == VT_BOOL && none.result.AsBool()) {
    CallMethod("CloseAllTables", {}, &restored, where);
  } else if (current.result.vt() == VT_BSTR && !current.result.AsBstr().view().empty()) {
    CallMethod("Table", {current.result, Variant::Str(Bstr())}, &restored, where);
  }
  Out() << AlignedColumns({}, lines, "");
  return true;
}

bool Session::Mode(const Words& words, const std::string& where) {
  const std::optional<RowMode> mode = words.empty() ? std::nullopt : RowModeNamed(words[0]);
  if (!mode) {
    Fail(where + "usage: .mode table|csv|tsv|json|line");
    return true;
  }
  format_.mode = *mode;
  return true;
}

bool Session::Headers(const Words& words, const std::string& where) {
  return OnOff(words, where, "headers", &format_.headers);
}

bool Session::Timer(const Words& words, const std::string& where) {
  return OnOff(words, where, "timer", &timer_);
}

bool Session::Bail(const Words& words, const std::string& where) {
  return OnOff(words, where, "bail", &bail_);
}

bool Session::OnOff(const Words& words, const std::string& where, const char* command, bool* flag) {
  if (words.size() == 1 && (words[0] == "on" || words[0] == "off")) {
    *flag = words[0] == "on";
  } else {
    Fail(where + "usage: ." + command + " on|off");
  }
  return true;
}

bool Session::Output(const Words& words, const std::string& where) {
  once_ = false;
  file_.close();
  if (!words.empty()) OpenOutput(words[0], where);
  return true;
}

bool Session::Once(const Words& words, const std::string& where) {
  if (words.empty()) {
    Fail(where + "usage: .once FILE");
    return true;
  }
  file_.close();
  once_ = OpenOutput(words[0], where);
  return true;
}

bool Session::OpenOutput(const std::string& path, const std::string& where) {
  file_.open(path, std::ios::binary | std::ios::trunc);
  outputPath_ = path;
  if (file_.is_open()) return true;
  Fail(where + "cannot write " + path);
  return false;
}

}  // namespace vorlix::shell
