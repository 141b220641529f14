#include "tools/shell/Session.h"

#include <charconv>
#include <chrono>
#include <cstdio>

#include "automation/AsciiCase.h"
#include "automation/HResult.h"
#include "automation/SafeArray.h"
#include "client/ClientError.h"
#include "tools/shell/Printer.h"
#include "tools/shell/SqlLines.h"
#include "tools/shell/Suggest.h"

namespace vorlix::shell {
namespace {

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return std::string(s);
}

// The history number of a "!n" line, or 0.
size_t HistoryReference(std::string_view line) {
  if (line.size() < 2 || line[0] != '!') return 0;
  size_t n = 0;
  const auto [end, ec] = std::from_chars(line.data() + 1, line.data() + line.size(), n);
  return ec == std::errc() && end == line.data() + line.size() ? n : 0;
}

// Words that end the shell as they end other shells, unless the object has a method so named.
bool IsQuitWord(const Statement& statement) {
  return !statement.command && statement.args.empty() &&
         (EqualNoCase(statement.name, "exit") || EqualNoCase(statement.name, "quit"));
}

}  // namespace

Session::Session(DispatchProxy& object, std::vector<MethodInfo> methods, SessionOptions options,
                 std::ostream& out, std::ostream& err)
    : object_(object), methods_(std::move(methods)), options_(options), out_(out), err_(err) {}

std::vector<std::string> Session::MethodNames() const {
  std::vector<std::string> names;
  for (const MethodInfo& method : methods_)
    names.push_back(method.name);
  return names;
}

std::vector<std::string> Session::TableNames() {
  std::vector<std::string> names;
  ListTables(&names, nullptr);
  return names;
}

bool Session::ListTables(std::vector<std::string>* names, const std::string* where) {
  InvokeResult result;
  if (!FindMethod(methods_, "ListTables")) {
    if (where) Fail(*where + "the object has no ListTables method");
    return false;
  }
  if (const HRESULT hr = object_.Invoke("ListTables", {Variant()}, &result); FAILED(hr)) {
    if (where) Fail(*where + "ListTables: " + HResultName(hr));
    return false;
  }
  if (AnsweredFalse(result)) {
    if (where) {
      const std::string reason = RecordedError();
      Fail(*where + "no tables to list" + (reason.empty() ? "" : ": " + reason));
    }
    return false;
  }
  if (result.outs.size() == 1 && result.outs[0].IsArray() &&
      result.outs[0].AsArray().ElementType() == VT_VARIANT) {
    for (const Variant& name : result.outs[0].AsArray().Elements()) {
      if (name.vt() == VT_BSTR) names->push_back(name.AsBstr().Utf8());
    }
  }
  return true;
}

bool Session::Run(std::string_view line, const std::string& where) {
  std::string text = Trim(line);
  if (const size_t n = sql_.empty() ? HistoryReference(text) : 0) {
    if (n > history_.size()) {
      Fail(where + "no line " + std::to_string(n) + " in the history");
      return !bail_;
    }
    text = history_[n - 1];
    if (!options_.echo) out_ << text << '\n';  // what runs, as shells show it
  }
  if (options_.echo) {
    out_ << (text.empty() || text[0] == '#' || !sql_.empty() ? "" : "> ") << text << '\n';
  }
  if (sql_.empty() && (text.empty() || text[0] == '#')) return true;
  if (!text.empty()) history_.push_back(text);
  const size_t failures = failures_;
  const bool goOn = sql_.empty() ? RunStatements(text, where) : ContinueSql(text, where);
  return goOn && !(bail_ && failures_ > failures);
}

void Session::Finish(const std::string& where) {
  if (sql_.empty()) return;
  ContinueSql(";", where);
  if (sql_.empty()) return;
  sql_.clear();
  Fail(where + "the input ends inside a quote of an SQL statement; it did not run");
}

bool Session::RunStatements(const std::string& text, const std::string& where) {
  std::vector<Statement> statements;
  ParseError error;
  size_t sqlStart = std::string::npos;
  if (!ParseLine(text, &statements, &error, &sqlStart)) {
    Fail(where + "column " + std::to_string(error.column) + ": " + error.message);
    return true;
  }
  for (const Statement& statement : statements) {
    if (IsQuitWord(statement) && !FindMethod(methods_, statement.name)) return false;
    const bool goOn = RunOne(
        [&] {
          if (statement.command) return Command(statement, where);
          Call(statement, where);
          return true;
        },
        !statement.command, where);
    if (!goOn) return false;
  }
  return sqlStart == std::string::npos || ContinueSql(text.substr(sqlStart), where);
}

bool Session::ContinueSql(const std::string& text, const std::string& where) {
  sql_ += (sql_.empty() ? "" : "\n") + text;
  const size_t end = StatementEnd(sql_);
  if (end == std::string::npos) return true;
  const std::string statement = Trim(std::string_view(sql_).substr(0, end));
  const std::string rest = Trim(std::string_view(sql_).substr(end + 1));
  sql_.clear();
  const bool goOn = RunOne(
      [&] {
        if (!statement.empty()) RunSql(statement, where);
        return true;
      },
      true, where);
  return goOn && RunStatements(rest, where);
}

bool Session::RunOne(const std::function<bool()>& run, bool timed, const std::string& where) {
  const bool once = once_;
  const size_t failures = failures_;
  const auto start = std::chrono::steady_clock::now();
  const bool goOn = run();
  if (timed && timer_) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    char line[48];
    snprintf(line, sizeof line, "time: %.3f s\n", took.count());
    err_ << line << std::flush;
  }
  // Flushed at each statement, so that a full disk is told at the statement that met it.
  if (file_.is_open() && !file_.flush()) {
    file_.close();
    once_ = false;
    Fail(where + "cannot write " + outputPath_ + "; answers go to the screen again");
  }
  if (once) EndOnce();
  return goOn && !(bail_ && failures_ > failures);
}

void Session::RunSql(const std::string& statement, const std::string& where) {
  std::optional<Bstr> sql = Bstr::FromUtf8(statement);
  if (!sql) {
    Fail(where + "the statement is not valid UTF-8");
    return;
  }
  // The server answers a bare false then, with nothing recorded to say why.
  InvokeResult open;
  if (FindMethod(methods_, "IsOpen") && SUCCEEDED(object_.Invoke("IsOpen", {}, &open)) &&
      AnsweredFalse(open)) {
    Fail(where + "no database is open for SQL (Open or OpenForWrite one)");
    return;
  }
  const bool rows = ReturnsRows(statement);
  if (rows && HasCursor()) {
    ResultSet set;
    if (CursorRows(std::move(*sql), &set, where)) Out() << FormatRows(set, format_);
    return;
  }
  InvokeResult result;
  if (!CallMethod(rows ? "SQL" : "CommandWithRecords", {Variant::Str(std::move(*sql))}, &result,
                  where)) {
    return;
  }
  if (AnsweredFalse(result)) {
    const std::string reason = RecordedError();
    Fail(where + (reason.empty() ? "the statement failed" : reason));
    return;
  }
  if (rows && result.outs.size() == 1) Out() << FormatRows(QueryRows(result.outs[0]), format_);
}

void Session::Call(const Statement& call, const std::string& where) {
  InvokeResult result;
  if (!CallMethod(call.name, call.args, &result, where)) return;
  const MethodInfo* method = FindMethod(methods_, call.name);
  Out() << ShowReply(result.result, result.outs,
                     method ? OutNames(*method) : std::vector<std::string>());
  // Open answers the name of the database it opened, and "*REPAIR*" or nothing when it failed.
  const bool openFailed =
      EqualNoCase(call.name, "Open") && result.result.vt() == VT_BSTR &&
      (result.result.AsBstr().view().empty() || result.result.AsBstr().view() == u"*REPAIR*");
  if (!AnsweredFalse(result) && !openFailed) return;
  const std::string reason = RecordedError();
  if (options_.strict) {
    Fail(where + call.name + " answered " + Literal(result.result) +
         (reason.empty() ? "" : ": " + reason));
  } else if (!reason.empty()) {
    Out() << reason << '\n';
  }
}

bool Session::CallMethod(const std::string& name, std::vector<Variant> ins, InvokeResult* result,
                         const std::string& where) {
  const MethodInfo* method = FindMethod(methods_, name);
  const std::vector<Variant> args = method ? ArrangeArguments(*method, std::move(ins)) : ins;
  const HRESULT hr = object_.Invoke(name, args, result);
  if (SUCCEEDED(hr)) return true;
  std::string message = where + name + ": " + HResultName(hr);
  // A failure on the client's side or on the wire (a server that went away) has words of its own.
  if (!LastClientError().empty()) message += ": " + LastClientError();
  if (method && hr == DISP_E_BADPARAMCOUNT) message += ", expected " + Signature(*method);
  if (method && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) &&
      result->argErr < method->params.size()) {
    message += " in argument " + method->params[result->argErr].name;
  }
  if (hr == DISP_E_UNKNOWNNAME) message += DidYouMean(name, MethodNames(), "");
  Fail(message);
  return false;
}

std::string Session::RecordedError() {
  if (!FindMethod(methods_, "IsDAOError") || !FindMethod(methods_, "GetLastDAOError")) return "";
  // The flag tells whether the failed call recorded anything: the code and description stay
  // from older failures.
  InvokeResult flag;
  if (FAILED(object_.Invoke("IsDAOError", {}, &flag)) || flag.result.vt() != VT_BOOL) return "";
  if (!flag.result.AsBool()) return "no error was recorded";
  InvokeResult error;
  if (FAILED(object_.Invoke("GetLastDAOError", {Variant(), Variant()}, &error)) ||
      error.outs.size() != 2 || error.outs[1].vt() != VT_BSTR) {
    return "";
  }
  return "error " + Literal(error.outs[0]) + ": " + error.outs[1].AsBstr().Utf8();
}

void Session::Fail(const std::string& message) {
  ++failures_;
  Out().flush();
  err_ << message << '\n';
  err_.flush();
}

void Session::EndOnce() {
  if (!once_) return;
  once_ = false;
  file_.close();
}

}  // namespace vorlix::shell
