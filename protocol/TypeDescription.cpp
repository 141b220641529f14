#include "protocol/TypeDescription.h"

namespace vorlix {

std::string ParamTypeName(const Param& param) {
  const ParamTypeInfo& info = InfoOf(param.type);
  return param.kind == ParamKind::kIn ? info.automationIn : info.automationOut;
}

std::string TypeDescription(const Interface& interface) {
  static constexpr const char* kKinds[] = {"[in]", "[out]", "[out, retval]"};
  const std::string uuid = interface.iid.ToString();
  std::string text = "[uuid(" + uuid.substr(1, uuid.size() - 2) + "), helpstring(\"" +
                     std::string(interface.help) + "\"), dual, nonextensible, oleautomation]\n";
  text += "interface " + std::string(interface.name) + " : IDispatch {\n";
  for (const Method& method : interface.methods) {
    text += "  [id(" + std::to_string(method.dispid) + "), helpstring(\"method " +
            std::string(method.name) + "\")] HRESULT " + std::string(method.name) + "(";
    const char* separator = "";
    for (const Param& param : method.Params()) {
      text += separator;
      text += kKinds[static_cast<int>(param.kind)];
      text += ' ' + ParamTypeName(param) + ' ' + std::string(param.name);
      separator = ", ";
    }
    text += ");\n";
  }
  text += "};\n";
  return text;
}

}  // namespace vorlix
