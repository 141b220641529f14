#include "protocol/WireSignature.h"

#include "protocol/WireNames.h"

namespace vorlix {
namespace {

constexpr const char* kHeader =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
    " <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "  <method name=\"Introspect\"><arg name=\"xml\" type=\"s\" direction=\"out\"/></method>\n"
    " </interface>\n";

std::string Arg(std::string_view name, std::string_view type, bool in) {
  return "<arg name=\"" + std::string(name) + "\" type=\"" + std::string(type) + "\" direction=\"" +
         (in ? "in" : "out") + "\"/>";
}

// One <interface> of fixed members, each "name(in-args)(out-args)" spelled as arg lists.
struct FixedMember {
  const char* name;
  std::initializer_list<std::pair<const char*, const char*>> in;
  std::initializer_list<std::pair<const char*, const char*>> out;
};

std::string FixedInterface(const char* name, std::initializer_list<FixedMember> members) {
  std::string xml = " <interface name=\"" + std::string(name) + "\">\n";
  for (const FixedMember& m : members) {
    xml += "  <method name=\"" + std::string(m.name) + "\">";
    for (auto [arg, type] : m.in)
      xml += Arg(arg, type, true);
    for (auto [arg, type] : m.out)
      xml += Arg(arg, type, false);
    xml += "</method>\n";
  }
  return xml + " </interface>\n";
}

}  // namespace

const char* WireType(ParamType type) {
  return InfoOf(type).wireType;
}

std::string InSignature(const Method& method) {
  std::string signature;
  for (const Param& p : method.Params()) {
    if (p.kind == ParamKind::kIn) signature += WireType(p.type);
  }
  return signature;
}

std::string OutSignature(const Method& method) {
  std::string signature = "i";
  for (const Param& p : method.Params()) {
    if (p.kind != ParamKind::kIn) signature += WireType(p.type);
  }
  return signature;
}

std::string WireInterfaceName(const Interface& interface) {
  return kNamePrefix + std::string(interface.name);
}

std::string ActivatorIntrospection() {
  return kHeader +
         FixedInterface(
             kActivatorInterface,
             {{"GetClassObject", {{"clsid", "s"}}, {{"hr", "i"}, {"classObject", "o"}}}}) +
         FixedInterface(kStatusInterface, {{"GetStatus",
                                            {},
                                            {{"pid", "u"},
                                             {"started", "t"},
                                             {"clients", "u"},
                                             {"objects", "u"},
                                             {"locks", "u"},
                                             {"databases", "as"}}}}) +
         "</node>\n";
}

std::string ClassObjectIntrospection() {
  return kHeader +
         FixedInterface(kClassFactoryInterface,
                        {{"CreateInstance", {{"iid", "s"}}, {{"hr", "i"}, {"object", "o"}}},
                         {"LockServer", {{"lock", "b"}}, {{"hr", "i"}}}}) +
         "</node>\n";
}

std::string InstanceIntrospection(const CoClass& coClass) {
  std::string xml =
      kHeader +
      FixedInterface(kUnknownInterface, {{"QueryInterface", {{"iid", "s"}}, {{"hr", "i"}}},
                                         {"AddRef", {}, {{"count", "u"}}},
                                         {"Release", {}, {{"count", "u"}}}}) +
      FixedInterface(
          kDispatchInterface,
          {{"GetTypeInfoCount", {}, {{"hr", "i"}, {"count", "u"}}},
           {"GetTypeInfo", {{"index", "u"}, {"lcid", "u"}}, {{"hr", "i"}, {"description", "s"}}},
           {"GetIDsOfNames", {{"names", "as"}, {"lcid", "u"}}, {{"hr", "i"}, {"dispids", "ai"}}},
           {"Invoke",
            {{"dispid", "i"}, {"args", "a(qv)"}},
            {{"hr", "i"}, {"result", "(qv)"}, {"outs", "a(qv)"}, {"argErr", "u"}}}});
  ForEachInterface(coClass, [&](const Interface& interface) {
    xml += " <interface name=\"" + WireInterfaceName(interface) + "\">\n";
    for (const Method& method : interface.methods) {
      xml += "  <method name=\"" + std::string(method.name) + "\">";
      for (const Param& p : method.Params()) {
        if (p.kind == ParamKind::kIn) xml += Arg(p.name, WireType(p.type), true);
      }
      xml += Arg("hr", "i", false);
      for (const Param& p : method.Params()) {
        if (p.kind != ParamKind::kIn) xml += Arg(p.name, WireType(p.type), false);
      }
      xml += "</method>\n";
    }
    xml += " </interface>\n";
  });
  return xml + "</node>\n";
}

}  // namespace vorlix
