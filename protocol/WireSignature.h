// The D-Bus signatures of the typed wire methods, derived from the interface table: each [in]
// parameter in declared order, and for the reply the HRESULT then each [out] and [out, retval].
#pragma once

#include <string>

#include "protocol/InterfaceTable.h"

namespace vorlix {

// "s" for BSTR, "n" for VARIANT_BOOL and short, "i" for long, "(qv)" for VARIANT.
const char* WireType(ParamType type);
std::string InSignature(const Method& method);
std::string OutSignature(const Method& method);

// The wire name of an interface of the table: "Vorlix.IDBConnection".
std::string WireInterfaceName(const Interface& interface);

// The introspection document of an object path: the activator at "/Vorlix", a class object,
// or an instance of coClass with each of its interfaces.
std::string ActivatorIntrospection();
std::string ClassObjectIntrospection();
std::string InstanceIntrospection(const CoClass& coClass);

}  // namespace vorlix
