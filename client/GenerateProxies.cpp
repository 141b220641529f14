// Writes the typed proxies' header from the interface table, so the client's methods can never
// drift from the server's: one class per interface ("IDBConnection" -> DBConnection), one
// method per row with the row's name, parameters and types.
#include <cstdio>
#include <string>

#include "protocol/InterfaceTable.h"
#include "protocol/WireSignature.h"

namespace vorlix {
namespace {

std::string CppType(const Param& p) {
  const ParamTypeInfo& info = InfoOf(p.type);
  return p.kind == ParamKind::kIn ? info.cppIn : info.cppOut;
}

// How an [in] parameter goes into the TypedIn list: by address where the proxy takes it by
// reference.
std::string InValue(const Param& p) {
  const bool byAddress = std::string_view(InfoOf(p.type).cppIn).ends_with('&');
  return (byAddress ? "&" : "") + std::string(p.name);
}

void WriteClass(FILE* out, const Interface& interface) {
  const std::string name(interface.name.substr(1));
  fprintf(out, "\n// %s over the wire; each method answers the server's HRESULT.\n",
          std::string(interface.name).c_str());
  fprintf(out, "class %s : public DispatchProxy {\n public:\n", name.c_str());
  fprintf(out, "  using DispatchProxy::DispatchProxy;\n");
  for (const Method& method : interface.methods) {
    std::string params, ins, outs;
    for (const Param& p : method.Params()) {
      params += (params.empty() ? "" : ", ") + CppType(p) + " " + std::string(p.name);
      std::string& list = p.kind == ParamKind::kIn ? ins : outs;
      list += (list.empty() ? "" : ", ") +
              (p.kind == ParamKind::kIn ? InValue(p) : std::string(p.name));
    }
    fprintf(out, "  HRESULT %s(%s) {\n", std::string(method.name).c_str(), params.c_str());
    fprintf(out, "    return TypedCall(Bus(), Path(), \"%s\", \"%s\", {%s}, {%s});\n  }\n",
            WireInterfaceName(interface).c_str(), std::string(method.name).c_str(), ins.c_str(),
            outs.c_str());
  }
  fprintf(out, "};\n");
}

}  // namespace
}  // namespace vorlix

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  FILE* out = fopen(argv[1], "w");
  if (!out) return 1;
  fprintf(out,
          "// Generated from the interface table by GenerateProxies; not to be edited.\n"
          "#pragma once\n\n#include \"client/DispatchProxy.h\"\n#include "
          "\"client/TypedCall.h\"\n\nnamespace vorlix {\n");
  for (const vorlix::CoClass& coClass : vorlix::kClasses)
    vorlix::ForEachInterface(coClass,
                             [&](const vorlix::Interface& i) { vorlix::WriteClass(out, i); });
  fprintf(out, "\n}  // namespace vorlix\n");
  return fclose(out) == 0 ? 0 : 1;
}
