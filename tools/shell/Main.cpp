// vorlix: a shell for people and scripts on a Vorlix object. It creates the object (by default
// Vorlix.DBConnection), reads its type description and runs one method call a line from a
// script file, from -c, or from the terminal.
#include <unistd.h>

#include <clocale>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "client/CreateObject.h"
#include "tools/HelpText.h"
#include "tools/shell/CancelOnInterrupt.h"
#include "tools/shell/LineEditor.h"
#include "tools/shell/Session.h"
#include "tools/shell/SqlLines.h"

namespace vorlix::shell {
namespace {

struct Arguments {
  SessionOptions options;
  std::string progid = "Vorlix.DBConnection";
  std::string command;  // -c
  bool hasCommand = false;
  std::string script;    // a file, or "" for standard input
  bool help = false;     // --help or -h: print the usage and end
  bool version = false;  // --version: print the version and end
};

bool ParseArguments(int argc, char** argv, Arguments* a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      a->help = true;
    } else if (arg == "--version") {
      a->version = true;
    } else if (arg == "--echo") {
      a->options.echo = true;
    } else if (arg == "--strict") {
      a->options.strict = true;
    } else if (arg == "--progid" && i + 1 < argc) {
      a->progid = argv[++i];
    } else if (arg == "-c" && i + 1 < argc && !a->hasCommand) {
      a->command = argv[++i];
      a->hasCommand = true;
    } else if ((arg == "-" || arg[0] != '-') && a->script.empty() && i + 1 == argc) {
      a->script = arg == "-" ? "" : arg;
    } else {
      return false;
    }
  }
  return !(a->hasCommand && !a->script.empty());
}

// The methods from the object's type description; none (with a warning) when it cannot be read.
std::vector<MethodInfo> ReadMethods(DispatchProxy& object) {
  Bstr description;
  const HRESULT hr = object.GetTypeInfo(0, &description);
  if (SUCCEEDED(hr)) {
    if (auto methods = ParseMethodList(description.Utf8())) return *methods;
  }
  std::cerr << "vorlix: no type description (" << HResultName(hr)
            << "); give out-parameters as empty\n";
  return {};
}

// Lines from the terminal, edited, until its end or a quit. Ctrl-C drops the line being typed,
// and cancels the call of one that runs.
void RunTerminal(Session& session, const DispatchProxy& object) {
  setlocale(LC_CTYPE, "");  // libedit decodes and shows the terminal's characters by it
  LineEditor editor(LineEditor::DefaultHistoryFile(), [&session](WordAtCursor::Kind kind) {
    switch (kind) {
      case WordAtCursor::Kind::kStatement: {
        std::vector<std::string> names = session.MethodNames();
        for (std::string& keyword : SqlKeywords())
          names.push_back(std::move(keyword));
        return names;
      }
      case WordAtCursor::Kind::kCommand:
        return Session::CommandNames();
      case WordAtCursor::Kind::kArgument:
        return session.TableNames();
    }
    return std::vector<std::string>();
  });
  std::string line;
  for (;;) {
    const LineEditor::Read read =
        editor.ReadLine(session.Continuing() ? "   ...> " : "vorlix> ", &line);
    if (read == LineEditor::Read::kEnd) {
      std::cout << '\n';  // leaves the prompt's line finished
      session.Finish();
      return;
    }
    if (read == LineEditor::Read::kInterrupted) {
      session.DropPending();
      continue;
    }
    if (line.find_first_not_of(" \t") != std::string::npos) editor.AddHistory(line);
    CancelOnInterrupt cancel(object);
    if (!session.Run(line)) return;
  }
}

int Main(int argc, char** argv) {
  Arguments a;
  if (!ParseArguments(argc, argv, &a)) {
    std::cerr << kHelpText;
    return 2;
  }
  // Asking how the program works never creates an object, nor starts a server.
  if (a.help) {
    std::cout << kHelpText;
    return 0;
  }
  if (a.version) {
    std::cout << "vorlix " << kVersion << '\n';
    return 0;
  }
  std::ifstream file;
  if (!a.script.empty()) {
    file.open(a.script);
    if (!file) {
      std::cerr << "vorlix: cannot read " << a.script << '\n';
      return 2;
    }
  }
  std::unique_ptr<DispatchProxy> object;
  const HRESULT hr = CreateObject(a.progid, &object);
  if (FAILED(hr)) {
    // The client library's words, when the failure was not the server's own answer.
    const std::string& why = LastClientError();
    std::cerr << "vorlix: cannot create " << a.progid << ": " << HResultName(hr)
              << (why.empty() ? "" : ": ") << why << '\n';
    return 2;
  }
  Session session(*object, ReadMethods(*object), a.options, std::cout, std::cerr);
  if (a.hasCommand) {
    if (session.Run(a.command)) session.Finish();
    return session.Failed() ? 1 : 0;
  }
  if (a.script.empty() && isatty(STDIN_FILENO)) {
    std::cout << "vorlix shell on " << a.progid << ". .help lists the methods, .quit ends.\n";
    RunTerminal(session, *object);
    return 0;  // at the terminal a failure has been seen already
  }
  std::istream& in = a.script.empty() ? std::cin : file;
  const std::string name = a.script.empty() ? "-" : a.script;
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    if (!session.Run(line, name + ":" + std::to_string(++number) + ": ")) {
      return session.Failed() ? 1 : 0;
    }
  }
  session.Finish(name + ":" + std::to_string(number) + ": ");
  return session.Failed() ? 1 : 0;
}

}  // namespace
}  // namespace vorlix::shell

int main(int argc, char** argv) {
  return vorlix::shell::Main(argc, argv);
}
