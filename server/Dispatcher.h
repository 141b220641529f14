// IDispatch by the interface table: the members of IDispatch that every object of this server
// implements the same way, given its interface's row of the table and its bindings.
#pragma once

#include <span>
#include <vector>

#include "automation/Dispatch.h"
#include "protocol/InterfaceTable.h"
#include "server/Binding.h"

namespace vorlix {

// The DISPID of names[0]: first by exact comparison, then without regard to ASCII letter case;
// further names are the method's parameters, numbered by their declared position. A name not
// found gets DISPID_UNKNOWN and the result is DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(const Interface& interface, const std::vector<Bstr>& names,
                      std::vector<DISPID>* dispids);

// Calls the method with that DISPID on self through bindings (which Agree() with interface):
// DISP_E_MEMBERNOTFOUND for a DISPID the interface does not assign, DISP_E_BADPARAMCOUNT unless
// args holds every parameter but the [out, retval] one, a failed coercion's HRESULT (such as
// DISP_E_TYPEMISMATCH) with its position in *argErr; otherwise what the method returns.
// *result is VT_EMPTY and *outs empty unless the method was called.
HRESULT Invoke(const Interface& interface, std::span<const Binding> bindings, IDispatch& self,
               DISPID dispid, const std::vector<Variant>& args, Variant* result,
               std::vector<Variant>* outs, uint32_t* argErr);

// The interface's type description (TypeDescription.h) for index 0; DISP_E_BADINDEX for
// another index, TYPE_E_LIBNOTREGISTERED while the registry (RegistryFile.h) does not hold the
// type library. Once answered, the description is kept for the rest of the process.
HRESULT GetTypeInfo(const Interface& interface, uint32_t index, Bstr* description);

}  // namespace vorlix
