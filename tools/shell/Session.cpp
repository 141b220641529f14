#include "tools/shell/Session.h"

#include <charconv>

#include "automation/HResult.h"
#include "tools/shell/Printer.h"

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

}  // namespace

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
    Fail(message);
    return;
  }
  out_ << ShowReply(result.result, result.outs,
                    method ? OutNames(*method) : std::vector<std::string>());
  if (options_.strict && result.result.vt() == VT_BOOL && !result.result.AsBool()) {
    Fail(where + call.name + " answered false");
  }
}

bool Session::Command(const Statement& command, const std::string& where) {
  if (command.name == "quit") return false;
  if (command.name == "help") {
    Help(command.word, where);
  } else if (command.name == "history") {
    for (size_t i = 0; i < history_.size(); ++i)
      out_ << "  " << i + 1 << "  " << history_[i] << '\n';
  } else {
    Fail(where + "unknown command ." + command.name + " (.help lists the commands)");
  }
  return true;
}

void Session::Help(const std::string& name, const std::string& where) {
  if (!name.empty()) {
    const MethodInfo* method = FindMethod(methods_, name);
    if (method) {
      out_ << Signature(*method) << '\n';
    } else {
      Fail(where + "no method " + name + " in the type description");
    }
    return;
  }
  out_ << "One call a line: Method arg arg ... (several separated by ';'). Arguments:\n"
          "  \"text\" (\"\" inside for a quote), 42, -1.5, 2e3, true, false, null, empty,\n"
          "  #2024-01-31#, #2024-01-31 13:45:00#, [\"an\", \"array\", 1]\n"
          "Out-parameters are left out; their values are printed after the result.\n"
          "Commands: .help [method], .history, !n (run history line n again), .quit\n";
  if (methods_.empty()) {
    out_ << "The object's type description could not be read; give out-parameters as empty.\n";
    return;
  }
  out_ << "Methods:\n";
  for (const MethodInfo& method : methods_)
    out_ << "  " << Signature(method) << '\n';
}

void Session::Fail(const std::string& message) {
  failed_ = true;
  out_.flush();
  err_ << message << '\n';
  err_.flush();
}

}  // namespace vorlix::shell
