// The methods of an object's interface as its type description (GetTypeInfo) states them. The
// shell uses them to fill in the out-parameters that a call line leaves out, to name the
// values it prints and for .help.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Variant.h"

namespace vorlix::shell {

struct MethodParam {
  enum class Kind { kIn, kOut, kRetval };
  Kind kind = Kind::kIn;
  std::string type;  // as declared: "BSTR", "VARIANT*" ...
  std::string name;
};

struct MethodInfo {
  std::string name;
  std::vector<MethodParam> params;  // in declared order
};

// The methods of a description in interface-definition form, one method a line:
//   [id(1), helpstring("method Open")] HRESULT Open([in] BSTR sFileName, [out, retval] ...);
// Lines that declare no method are passed over; nullopt when a method line is malformed.
std::optional<std::vector<MethodInfo>> ParseMethodList(std::string_view description);

// The method of that name compared without regard to ASCII letter case, as GetIDsOfNames
// resolves names; nullptr when there is none.
const MethodInfo* FindMethod(const std::vector<MethodInfo>& methods, std::string_view name);

// "Seek(VARIANT* pvSeek) -> VARIANT_BOOL bSuccess, out VARIANT pvReturnArray": the [in]
// parameters, then the result and the [out] parameters without the pointer star.
std::string Signature(const MethodInfo& method);

// The arguments of a call that gives the [in] values only: ins in the [in] places and VT_EMPTY
// in the [out] places, in declared order. Surplus values go at the end and missing ones are
// left out, so the server's parameter count check still answers a wrong count.
std::vector<Variant> ArrangeArguments(const MethodInfo& method, std::vector<Variant> ins);

// The names of the [out] parameters in declared order.
std::vector<std::string> OutNames(const MethodInfo& method);

}  // namespace vorlix::shell
