// The text that GetTypeInfo answers: an interface's description in interface-definition form,
// derived from the interface table.
#pragma once

#include <string>

#include "protocol/InterfaceTable.h"

namespace vorlix {

// The Automation spelling of a parameter's type as declared: "BSTR", "VARIANT_BOOL*",
// "VARIANT*" (an [in] VARIANT is passed by pointer too).
std::string ParamTypeName(const Param& param);

// An attribute line (uuid, help string, dual, nonextensible, oleautomation), then
// "interface <name> : IDispatch {", one line per method in vtable order:
//   [id(1), helpstring("method Open")] HRESULT Open([in] BSTR sFileName, ...);
// and "};".
std::string TypeDescription(const Interface& interface);

}  // namespace vorlix
