#include "tools/shell/Session.h"

#include <charconv>

#include "automation/AsciiCase.h"
#include "automation/HResult.h"
#include "automation/SafeArray.h"
#include "tools/shell/Printer.h"
#include "tools/shell/Suggest.h"

namespace vorlix::shell {
namespace {

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  return s;
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

// ", did you mean X?" when a known name is near word; "" otherwise.
std::string DidYouMean(std::string_view word, const std::vector<std::string>& names,
                       const std::string& prefix) {
  const std::string nearest = NearestName(word, names);
  return nearest.empty() ? "" : ", did you mean " + prefix + nearest + "?";
}

}  // namespace

struct Session::CommandInfo {
  const char* name;
  const char* usage;  // the arguments, for .help
  const char* what;
  bool (Session::*run)(const std::vector<std::string>& words, const std::string& where);
};

const Session::CommandInfo Session::kCommands[] = {
    {"help", "[method]", "lists the methods and commands, or shows one method", &Session::Help},
    {"history", "", "lists the lines of this session; !n runs line n again", &Session::History},
    {"quit", "", "ends the shell (so do exit and quit)", &Session::Quit},
};

std::vector<std::string> Session::CommandNames() {
  std::vector<std::string> names;
  for (const CommandInfo& command : kCommands)
    names.push_back(command.name);
  return names;
}

std::vector<std::string> Session::MethodNames() const {
  std::vector<std::string> names;
  for (const MethodInfo& method : methods_)
    names.push_back(method.name);
  return names;
}

std::vector<std::string> Session::TableNames() {
  std::vector<std::string> names;
  InvokeResult result;
  if (!FindMethod(methods_, "ListTables") ||
      FAILED(object_.Invoke("ListTables", {Variant()}, &result)) || result.outs.size() != 1 ||
      !result.outs[0].IsArray() || result.outs[0].AsArray().ElementType() != VT_VARIANT) {
    return names;
  }
  for (const Variant& name : result.outs[0].AsArray().Elements()) {
    if (name.vt() == VT_BSTR) names.push_back(name.AsBstr().Utf8());
  }
  return names;
}

Session::Session(DispatchProxy& object, std::vector<MethodInfo> methods, SessionOptions options,
                 std::ostream& out, std::ostream& err)
    : object_(object), methods_(std::move(methods)), options_(options), out_(out), err_(err) {}

bool Session::Run(std::string_view line, const std::string& where) {
  std::string text(TrimLeft(line));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  if (const size_t n = HistoryReference(text)) {
    if (n > history_.size()) {
      Fail(where + "no line " + std::to_string(n) + " in the history");
      return true;
    }
    text = history_[n - 1];
    if (!options_.echo) out_ << text << '\n';  // what runs, as shells show it
  }
  if (options_.echo) out_ << (text.empty() || text[0] == '#' ? "" : "> ") << text << '\n';
  if (text.empty() || text[0] == '#') return true;
  history_.push_back(text);

  std::vector<Statement> statements;
  ParseError error;
  if (!ParseLine(text, &statements, &error)) {
    Fail(where + "column " + std::to_string(error.column) + ": " + error.message);
    return true;
  }
  for (const Statement& statement : statements) {
    if (IsQuitWord(statement) && !FindMethod(methods_, statement.name)) return false;
    if (!statement.command) {
      Call(statement, where);
    } else if (!Command(statement, where)) {
      return false;
    }
  }
  return true;
}

void Session::Call(const Statement& call, const std::string& where) {
  const MethodInfo* method = FindMethod(methods_, call.name);
  const std::vector<Variant> args = method ? ArrangeArguments(*method, call.args) : call.args;
  InvokeResult result;
  const HRESULT hr = object_.Invoke(call.name, args, &result);
  if (FAILED(hr)) {
    std::string message = where + call.name + ": " + HResultName(hr);
    if (method && hr == DISP_E_BADPARAMCOUNT) message += ", expected " + Signature(*method);
    if (method && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) &&
        result.argErr < method->params.size()) {
      message += " in argument " + method->params[result.argErr].name;
    }
    if (hr == DISP_E_UNKNOWNNAME) message += DidYouMean(call.name, MethodNames(), "");
    Fail(message);
    return;
  }
  out_ << ShowReply(result.result, result.outs,
                    method ? OutNames(*method) : std::vector<std::string>());
  if (result.result.vt() != VT_BOOL || result.result.AsBool()) return;
  const std::string reason = RecordedError();
  if (options_.strict) {
    Fail(where + call.name + " answered false" + (reason.empty() ? "" : ": " + reason));
  } else if (!reason.empty()) {
    out_ << reason << '\n';
  }
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

bool Session::Command(const Statement& command, const std::string& where) {
  for (const CommandInfo& info : kCommands) {
    if (command.name == info.name) return (this->*info.run)(command.words, where);
  }
  Fail(where + "unknown command ." + command.name + DidYouMean(command.name, CommandNames(), ".") +
       " (.help lists the commands)");
  return true;
}

bool Session::Help(const std::vector<std::string>& words, const std::string& where) {
  if (words.size() > 1) {
    Fail(where + ".help takes one method name at most");
  } else if (words.size() == 1) {
    if (const MethodInfo* method = FindMethod(methods_, words[0])) {
      out_ << Signature(*method) << '\n';
    } else {
      Fail(where + "no method " + words[0] + " in the type description" +
           DidYouMean(words[0], MethodNames(), ""));
    }
    return true;
  }
  out_ << "One call a line: Method arg arg ... (several separated by ';'). Arguments:\n"
          "  \"text\" (\"\" inside for a quote), 42, -1.5, 2e3, true, false, null, empty,\n"
          "  #2024-01-31#, #2024-01-31 13:45:00#, [\"an\", \"array\", 1]\n"
          "Out-parameters are left out; their values are printed after the result.\n"
          "Commands:\n";
  for (const CommandInfo& info : kCommands) {
    const std::string head = std::string(".") + info.name + (*info.usage ? " " : "") + info.usage;
    out_ << "  " << head << std::string(head.size() < 24 ? 24 - head.size() : 1, ' ') << info.what
         << '\n';
  }
  if (methods_.empty()) {
    out_ << "The object's type description could not be read; give out-parameters as empty.\n";
    return true;
  }
  out_ << "Methods:\n";
  for (const MethodInfo& method : methods_)
    out_ << "  " << Signature(method) << '\n';
  return true;
}

bool Session::History(const std::vector<std::string>&, const std::string&) {
  for (size_t i = 0; i < history_.size(); ++i)
    out_ << "  " << i + 1 << "  " << history_[i] << '\n';
  return true;
}

bool Session::Quit(const std::vector<std::string>&, const std::string&) {
  return false;
}

void Session::Fail(const std::string& message) {
  failed_ = true;
  out_.flush();
  err_ << message << '\n';
  err_.flush();
}

}  // namespace vorlix::shell
