#include "tools/shell/MethodList.h"

namespace vorlix::shell {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ')
    s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "[in] BSTR sFileName" or "[out, retval] VARIANT_BOOL* bSuccess".
std::optional<MethodParam> ParseParam(std::string_view text) {
  text = Trim(text);
  const size_t close = text.find(']');
  if (text.empty() || text[0] != '[' || close == std::string_view::npos) return std::nullopt;
  const std::string_view attributes = text.substr(1, close - 1);
  MethodParam param;
  if (attributes == "in") {
    param.kind = MethodParam::Kind::kIn;
  } else if (attributes == "out") {
    param.kind = MethodParam::Kind::kOut;
  } else if (attributes == "out, retval") {
    param.kind = MethodParam::Kind::kRetval;
  } else {
    return std::nullopt;
  }
  const std::string_view rest = Trim(text.substr(close + 1));
  const size_t space = rest.rfind(' ');
  if (space == std::string_view::npos) return std::nullopt;
  param.type = Trim(rest.substr(0, space));
  param.name = rest.substr(space + 1);
  if (param.type.empty() || param.name.empty()) return std::nullopt;
  return param;
}

std::optional<MethodInfo> ParseMethod(std::string_view line) {
  constexpr std::string_view kReturns = "HRESULT ";
  const size_t at = line.find(kReturns);
  const size_t open = line.find('(', at);
  const size_t close = line.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  MethodInfo method;
  method.name = Trim(line.substr(at + kReturns.size(), open - at - kReturns.size()));
  if (method.name.empty()) return std::nullopt;
  std::string_view params = line.substr(open + 1, close - open - 1);
  // Parameters are split at the ", " before each '[': the attribute list "[out, retval]"
  // holds a comma of its own.
  while (!Trim(params).empty()) {
    size_t next = params.find(", [");
    const std::optional<MethodParam> param = ParseParam(params.substr(0, next));
    if (!param) return std::nullopt;
    method.params.push_back(*param);
    params = next == std::string_view::npos ? std::string_view() : params.substr(next + 2);
  }
  return method;
}

}  // namespace

std::optional<std::vector<MethodInfo>> ParseMethodList(std::string_view description) {
  std::vector<MethodInfo> methods;
  while (!description.empty()) {
    const size_t end = description.find('\n');
    const std::string_view line = description.substr(0, end);
    description = end == std::string_view::npos ? std::string_view() : description.substr(end + 1);
    if (line.find("HRESULT ") == std::string_view::npos) continue;
    std::optional<MethodInfo> method = ParseMethod(line);
    if (!method) return std::nullopt;
    methods.push_back(std::move(*method));
  }
  return methods;
}

const MethodInfo* FindMethod(const std::vector<MethodInfo>& methods, std::string_view name) {
  for (const MethodInfo& method : methods) {
    if (method.name.size() != name.size()) continue;
    size_t i = 0;
    while (i < name.size() && Lower(method.name[i]) == Lower(name[i]))
      ++i;
    if (i == name.size()) return &method;
  }
  return nullptr;
}

std::string Signature(const MethodInfo& method) {
  std::string ins, results;
  for (const MethodParam& param : method.params) {
    if (param.kind == MethodParam::Kind::kIn) {
      ins += (ins.empty() ? "" : ", ") + param.type + ' ' + param.name;
      continue;
    }
    std::string type = param.type;
    if (!type.empty() && type.back() == '*') type.pop_back();
    const std::string text = type + ' ' + param.name;
    if (param.kind == MethodParam::Kind::kRetval) {
      results = text + (results.empty() ? "" : ", " + results);
    } else {
      results += (results.empty() ? "out " : ", out ") + text;
    }
  }
  return method.name + '(' + ins + ')' + (results.empty() ? "" : " -> " + results);
}

std::vector<Variant> ArrangeArguments(const MethodInfo& method, std::vector<Variant> ins) {
  std::vector<Variant> args;
  size_t next = 0;
  for (const MethodParam& param : method.params) {
    if (param.kind == MethodParam::Kind::kOut) {
      args.emplace_back();
    } else if (param.kind == MethodParam::Kind::kIn && next < ins.size()) {
      args.push_back(std::move(ins[next++]));
    }
  }
  for (; next < ins.size(); ++next)
    args.push_back(std::move(ins[next]));
  return args;
}

std::vector<std::string> OutNames(const MethodInfo& method) {
  std::vector<std::string> names;
  for (const MethodParam& param : method.params) {
    if (param.kind == MethodParam::Kind::kOut) names.push_back(param.name);
  }
  return names;
}

}  // namespace vorlix::shell
