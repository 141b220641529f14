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
      TypedInterface& typed = (*built)[coClass.interface];
      typed.name = WireInterfaceName(*coClass.interface);
      for (const Method& method : coClass.interface->methods)
        typed.members.emplace(method.name, TypedMethod{&method, InSignature(method)});
    }
    return built;
  }();
  return *all;
}

}  // namespace

const TypedMethod* FindTypedMethod(const Interface& object, const char* interface,
                                   const char* member) {
  const TypedInterface& typed = TypedInterfaces().at(&object);
  if (!member || (interface && typed.name != interface)) return nullptr;
  auto found = typed.members.find(member);
  return found == typed.members.end() ? nullptr : &found->second;
}

}  // namespace vorlix
