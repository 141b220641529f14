// Writes docs/reference.md from the interface table: the classes and, for each interface, every
// method with its DISPID, summary, parameters and wire signatures. With --check it compares the
// file with what it would write instead, so a test can tell when the committed reference is stale.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/InterfaceTable.h"
#include "protocol/TypeDescription.h"
#include "protocol/WireSignature.h"

namespace vorlix {
namespace {

constexpr const char* kRegenerate = "cmake --build --preset debug --target reference";

std::string Code(std::string_view text) {
  return "`" + std::string(text) + "`";
}

std::string Classes() {
  std::string md =
      "| class | ProgID | CLSID | interface | IID |\n"
      "|---|---|---|---|---|\n";
  for (const CoClass& c : kClasses) {
    const std::string progid = "Vorlix." + std::string(c.name);
    md += "| " + Code(c.name) + " | " + Code(progid) + ", " + Code(progid + ".1") + " | " +
          Code(c.clsid.ToString()) + " | " + Code(c.interface->name) + " | " +
          Code(c.interface->iid.ToString()) + " |\n";
    if (c.extension) {
      md += "| | | | " + Code(c.extension->name) + " (extension) | " +
            Code(c.extension->iid.ToString()) + " |\n";
    }
  }
  return md;
}

std::string Parameters(const Method& method) {
  static constexpr const char* kKinds[] = {"[in]", "[out]", "[out, retval]"};
  std::string text;
  for (const Param& p : method.Params()) {
    text += (text.empty() ? "" : "<br>") + Code(std::string(kKinds[static_cast<int>(p.kind)]) +
                                                " " + ParamTypeName(p) + " " + std::string(p.name));
  }
  return text.empty() ? "none" : text;
}

std::string InterfaceSection(const Interface& interface) {
  std::string md = "\n## " + std::string(interface.name) + "\n\n" +
                   std::to_string(interface.methods.size()) + " methods; on the wire " +
                   Code(WireInterfaceName(interface)) + ".\n\n" +
                   "| DISPID | method | what it does | parameters | wire in | wire reply |\n"
                   "|---|---|---|---|---|---|\n";
  for (const Method& m : interface.methods) {
    const std::string in = InSignature(m);
    md += "| " + std::to_string(m.dispid) + " | " + Code(m.name) + " | " + std::string(m.summary) +
          " | " + Parameters(m) + " | " + (in.empty() ? "none" : Code(in)) + " | " +
          Code(OutSignature(m)) + " |\n";
  }
  return md;
}

std::string Reference() {
  std::string md =
      "# Interface reference\n\n"
      "Generated from the interface table (`protocol/InterfaceTable.h`) by "
      "`docs/GenerateReference.cpp`; not to be edited by hand. Regenerate it with `" +
      std::string(kRegenerate) +
      "`.\n\n"
      "Type library " +
      Code(kVorlixLib.name) + " (\"" + std::string(kVorlixLib.help) + "\"), version " +
      std::to_string(kVorlixLib.major) + "." + std::to_string(kVorlixLib.minor) + ", LIBID " +
      Code(kVorlixLib.libid.ToString()) + ".\n\n" + Classes() +
      "\n"
      "Every method returns an HRESULT. Parameters are listed in declared order: `[in]` values go "
      "to the server, `[out]` values come back, and the `[out, retval]` value is what a late-bound "
      "caller sees as the method's result. `VARIANT_BOOL` is -1 for true and 0 for false.\n\n"
      "An object answers late-bound calls through `Vorlix.IDispatch` (`Invoke(dispid, args)`, "
      "`args` holding every parameter but the `[out, retval]` one) and typed calls through its "
      "interface's wire name: \"wire in\" is the D-Bus signature of a method's arguments, \"wire "
      "reply\" that of its reply, the HRESULT (`i`) then the `[out]` and `[out, retval]` values. "
      "`s` is a string, `n` a `VARIANT_BOOL` or `short`, `i` a `long`, `(qv)` a VARIANT (its "
      "VARTYPE and value), `(ayah)` a packed batch: its bytes, or none and the descriptor of a "
      "sealed memory file that holds them (late-bound, a `VT_ARRAY|VT_UI1` of the bytes).\n";
  for (const CoClass& c : kClasses)
    ForEachInterface(c, [&](const Interface& i) { md += InterfaceSection(i); });
  return md;
}

}  // namespace
}  // namespace vorlix

// vorlix-generate-reference FILE writes the reference to FILE; with --check FILE it answers 1,
// saying how to regenerate, when FILE differs from it.
int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (argc != 2 && !check) {
    fprintf(stderr, "usage: %s [--check] FILE\n", argv[0]);
    return 2;
  }
  const std::string path = argv[argc - 1];
  const std::string reference = vorlix::Reference();
  if (check) {
    std::ostringstream committed;
    committed << std::ifstream(path).rdbuf();
    if (committed.str() == reference) return 0;
    fprintf(stderr, "%s is not what the interface table gives; regenerate it with: %s\n",
            path.c_str(), vorlix::kRegenerate);
    return 1;
  }
  std::ofstream out(path);
  out << reference;
  out.close();
  return out ? 0 : 1;
}
