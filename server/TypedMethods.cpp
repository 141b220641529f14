#include "server/TypedMethods.h"

#include <map>
#include <string_view>
#include <unordered_map>

#include "protocol/WireSignature.h"

namespace vorlix {
namespace {

struct TypedInterface {
  std::string name;
  std::unordered_map<std::string_view, TypedMethod> members;
};

const std::map<const Interface*, TypedInterface>& TypedInterfaces() {
  static const auto* all = [] {
    auto* built = new std::map<const Interface*, TypedInterface>;
    for (const CoClass& coClass : kClasses) {
      ForEachInterface(coClass, [&](const Interface& interface) {
        TypedInterface& typed = (*built)[&interface];
        typed.name = WireInterfaceName(interface);
        for (const Method& method : interface.methods)
          typed.members.emplace(method.name,
                                TypedMethod{&method, InSignature(method), OutSignature(method)});
      });
    }
    return built;
  }();
  return *all;
}

}  // namespace

const TypedMethod* FindTypedMethod(const CoClass& object, std::string_view interface,
                                   std::string_view member) {
  const TypedMethod* method = nullptr;
  ForEachInterface(object, [&](const Interface& candidate) {
    const TypedInterface& typed = TypedInterfaces().at(&candidate);
    if (method || (!interface.empty() && typed.name != interface)) return;
    auto found = typed.members.find(member);
    if (found != typed.members.end()) method = &found->second;
  });
  return method;
}

}  // namespace vorlix
